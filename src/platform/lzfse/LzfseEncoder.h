#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tallowmere::lzfse {

// Writes LZFSE streams that any conforming decoder reads. Inputs under 8
// bytes are stored raw, inputs under 4096 bytes go into one LZVN block when
// that is smaller than storing them, and larger inputs into LZFSE blocks
// (each one stored raw instead when it does not compress).
class LzfseEncoder {
public:
    static std::vector<std::uint8_t> encode(std::span<const std::uint8_t> in);

    static constexpr std::size_t kLzvnThreshold = 4096;
    static constexpr std::size_t kMinCompressible = 8;
};

}  // namespace tallowmere::lzfse
