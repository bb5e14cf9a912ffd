#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tallowmere::lzfse {

// Decodes the instruction list of one "bvxn" block.
class LzvnDecoder {
public:
    // Writes out[outPos, outEnd); out[0, outPos) is the history matches may
    // reach into, and kCopySlack writable bytes follow outEnd. True when the
    // payload fills exactly that range and its end instruction takes up
    // exactly its last 8 bytes.
    static bool decode(std::span<const std::uint8_t> payload, std::uint8_t* out, std::size_t outPos,
                       std::size_t outEnd);
};

}  // namespace tallowmere::lzfse
