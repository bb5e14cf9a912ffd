#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tallowmere::lzfse {

// Writes the instruction list of one "bvxn" block, for inputs small enough
// that every match lies within reach of its 16-bit distances.
class LzvnEncoder {
public:
    // The payload for `in`, ending with the 8-byte end instruction.
    static std::vector<std::uint8_t> encode(std::span<const std::uint8_t> in);
};

}  // namespace tallowmere::lzfse
