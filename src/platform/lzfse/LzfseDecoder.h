#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/lzfse/DecodeStatus.h"

namespace tallowmere::lzfse {

// What walking the block headers of a stream found.
struct StreamScan {
    DecodeStatus status = DecodeStatus::truncated;
    std::size_t streamBytes = 0;  // up to and including the end-of-stream block
    std::uint64_t rawBytes = 0;   // what the blocks announce they decode to
};

// Reads LZFSE streams: any sequence of raw, LZVN and LZFSE (plain or packed
// header) blocks up to the end-of-stream block. Bytes after that block are
// ignored. Every block announces its decoded size, and a block that decodes
// to anything else is rejected, so the output never grows past what the
// headers promised and the caller's limit is checked before any work.
class LzfseDecoder {
public:
    // Steps over the block headers only; cheap enough to ask again whenever
    // more input arrives. `tooLarge` when the blocks announce more than
    // maxOutput bytes.
    static StreamScan scan(std::span<const std::uint8_t> in, std::uint64_t maxOutput);

    // Appends the decoded stream to `out`; on any status other than complete
    // `out` is left as it was.
    static DecodeStatus decode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out,
                               std::uint64_t maxOutput);
};

}  // namespace tallowmere::lzfse
