#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Constants and small helpers shared by the LZFSE encoder and decoder.
namespace tallowmere::lzfse {

// Header fields are little-endian and read with plain unaligned loads.
static_assert(std::endian::native == std::endian::little);

// Block magics, as little-endian 32-bit values of "bvx$", "bvx-", "bvxn", "bvx1", "bvx2".
inline constexpr std::uint32_t kEndOfStreamMagic = 0x24787662;
inline constexpr std::uint32_t kRawMagic = 0x2d787662;
inline constexpr std::uint32_t kLzvnMagic = 0x6e787662;
inline constexpr std::uint32_t kV1Magic = 0x31787662;
inline constexpr std::uint32_t kV2Magic = 0x32787662;

inline constexpr std::size_t kRawHeaderSize = 8;
inline constexpr std::size_t kLzvnHeaderSize = 12;
inline constexpr std::size_t kV1HeaderSize = 772;
inline constexpr std::size_t kV2FixedHeaderSize = 32;

// Hard limits a decoder enforces per LZFSE block.
inline constexpr std::uint32_t kMaxLiteralsPerBlock = 40000;
inline constexpr std::uint32_t kMaxMatchesPerBlock = 10000;

// Alphabet sizes and state counts of the four entropy-coded streams.
inline constexpr int kLiteralSymbols = 256;
inline constexpr int kLiteralStates = 1024;
inline constexpr int kLSymbols = 20;
inline constexpr int kLStates = 64;
inline constexpr int kMSymbols = 20;
inline constexpr int kMStates = 64;
inline constexpr int kDSymbols = 64;
inline constexpr int kDStates = 256;
inline constexpr int kFrequencyCount = kLSymbols + kMSymbols + kDSymbols + kLiteralSymbols;

inline constexpr std::uint32_t kMaxL = 315;
inline constexpr std::uint32_t kMaxM = 2359;
inline constexpr std::uint32_t kMaxD = 262139;
inline constexpr std::uint32_t kMaxLzvnDistance = 65535;

// The L/M/D payload begins with this many zero bytes.
inline constexpr std::size_t kLmdPrefixBytes = 8;

inline constexpr std::array<std::uint8_t, kLSymbols> kLExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                    0, 0, 0, 0, 0, 0, 2, 3, 5, 8};
inline constexpr std::array<std::uint32_t, kLSymbols> kLBase = {0, 1,  2,  3,  4,  5,  6,  7,  8,  9,
                                                                10, 11, 12, 13, 14, 15, 16, 20, 28, 60};
inline constexpr std::array<std::uint8_t, kMSymbols> kMExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                    0, 0, 0, 0, 0, 0, 3, 5, 8, 11};
inline constexpr std::array<std::uint32_t, kMSymbols> kMBase = {0,  1,  2,  3,  4,  5,  6,  7,  8,   9,
                                                                10, 11, 12, 13, 14, 15, 16, 24, 56, 312};

// Distance symbols come in groups of four; group g carries g extra bits and
// starts at 4 * (2^g - 1), each symbol of the group 2^g above the previous.
constexpr std::array<std::uint8_t, kDSymbols> makeDExtraBits() {
    std::array<std::uint8_t, kDSymbols> bits{};
    for (int s = 0; s < kDSymbols; ++s) bits[s] = static_cast<std::uint8_t>(s / 4);
    return bits;
}
constexpr std::array<std::uint32_t, kDSymbols> makeDBase() {
    std::array<std::uint32_t, kDSymbols> base{};
    for (int s = 0; s < kDSymbols; ++s) {
        const int group = s / 4;
        base[s] = 4u * ((1u << group) - 1u) + static_cast<std::uint32_t>(s % 4) * (1u << group);
    }
    return base;
}
inline constexpr std::array<std::uint8_t, kDSymbols> kDExtraBits = makeDExtraBits();
inline constexpr std::array<std::uint32_t, kDSymbols> kDBase = makeDBase();

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, sizeof v); }
inline void store64(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, sizeof v); }

inline std::uint64_t lowBits(std::uint64_t value, unsigned count) {
    return count >= 64 ? value : value & ((std::uint64_t{1} << count) - 1);
}

// The decoders keep this many writable bytes past the end of their output so
// that copies can move whole 8-byte words and overshoot.
inline constexpr std::size_t kCopySlack = 32;

// Appends `length` bytes that start `distance` bytes back. Overlapping copies
// repeat the pattern forwards, as a byte-by-byte copy would. Writes up to 7
// bytes past the end (into the slack).
inline void copyMatch(std::uint8_t* dst, std::size_t distance, std::size_t length) {
    const std::uint8_t* src = dst - distance;
    if (distance >= 8) {
        for (std::size_t i = 0; i < length; i += 8) store64(dst + i, load64(src + i));
    } else {
        for (std::size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
}

// Copies `length` bytes; reads and writes up to 7 bytes past the end of both.
inline void copyWords(std::uint8_t* dst, const std::uint8_t* src, std::size_t length) {
    for (std::size_t i = 0; i < length; i += 8) store64(dst + i, load64(src + i));
}

}  // namespace tallowmere::lzfse
