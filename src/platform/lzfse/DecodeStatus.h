#pragma once

namespace tallowmere::lzfse {

// Outcome of reading a stream, or a prefix of one.
enum class DecodeStatus {
    complete,   // a whole stream up to its end-of-stream block
    truncated,  // the input ends before the end-of-stream block
    invalid,    // the bytes break the format
    tooLarge,   // the output would exceed the caller's limit
};

}  // namespace tallowmere::lzfse
