#pragma once

#include <cstdint>
#include <span>

namespace tallowmere::lzfse {

// One decoder state of the literal stream: the byte it yields, how many bits
// it reads and the base those bits are added to for the next state.
struct LiteralEntry {
    std::uint8_t nbits;
    std::uint8_t symbol;
    std::uint16_t base;
};

// One decoder state of an L, M or D stream. The state bits and the value's
// extra bits are read in one go (state bits on top).
struct ValueEntry {
    std::uint8_t totalBits;
    std::uint8_t extraBits;
    std::uint16_t base;
    std::uint32_t valueBase;
};

// How the encoder moves from state x when it codes one symbol: write
// `bitsHigh` bits when x >= threshold, else one bit fewer; the next state is
// the matching delta plus x shifted right by that many bits.
struct EncodeEntry {
    std::uint16_t threshold;
    std::uint8_t bitsHigh;
    std::int32_t deltaHigh;
    std::int32_t deltaLow;
};

// Building the tANS tables of the four alphabets. States are handed out to
// symbols in order, without spreading. Every builder takes normalised
// frequencies; the decoding ones report the number of states owned by some
// symbol (states at or above it are invalid), or -1 when the frequencies add
// up to more than the state count.
class FseTables {
public:
    static int buildLiteralDecoder(std::span<const std::uint16_t> freq, int states, LiteralEntry* table);
    static int buildValueDecoder(std::span<const std::uint16_t> freq, int states,
                                 const std::uint8_t* extraBits, const std::uint32_t* valueBase,
                                 ValueEntry* table);
    static void buildEncoder(std::span<const std::uint16_t> freq, int states, EncodeEntry* table);

    // Scales symbol counts to frequencies that add up to exactly `states`,
    // every occurring symbol keeping at least 1. All zero counts give all
    // zero frequencies.
    static void normalise(std::span<const std::uint32_t> counts, int states, std::span<std::uint16_t> freq);
};

}  // namespace tallowmere::lzfse
