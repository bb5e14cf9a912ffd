#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/lzfse/DecodeStatus.h"
#include "platform/lzfse/Format.h"

namespace tallowmere::lzfse {

// The header of an LZFSE block in either layout ("bvx1" plain or "bvx2" packed).
struct LzfseBlockHeader {
    std::uint32_t nRawBytes = 0;
    std::uint32_t nLiterals = 0;
    std::uint32_t nMatches = 0;
    std::uint32_t nLiteralPayloadBytes = 0;
    std::uint32_t nLmdPayloadBytes = 0;
    int literalBits = 0;
    int lmdBits = 0;
    std::array<std::uint16_t, 4> literalState{};
    std::uint16_t lState = 0;
    std::uint16_t mState = 0;
    std::uint16_t dState = 0;
    std::uint32_t headerSize = 0;
    // L, then M, then D, then literal frequencies.
    std::array<std::uint16_t, kFrequencyCount> freq{};

    std::span<const std::uint16_t> lFreq() const { return {freq.data(), kLSymbols}; }
    std::span<const std::uint16_t> mFreq() const { return {freq.data() + kLSymbols, kMSymbols}; }
    std::span<const std::uint16_t> dFreq() const { return {freq.data() + kLSymbols + kMSymbols, kDSymbols}; }
    std::span<const std::uint16_t> literalFreq() const {
        return {freq.data() + kLSymbols + kMSymbols + kDSymbols, kLiteralSymbols};
    }

    // Total bytes of the block, header and payloads.
    std::uint64_t blockSize() const {
        return std::uint64_t{headerSize} + nLiteralPayloadBytes + nLmdPayloadBytes;
    }

    // `block` starts at the magic and runs to the end of the input. Only the
    // sizes are read when `sizesOnly` is set (enough to step over the block).
    static DecodeStatus parse(std::span<const std::uint8_t> block, bool sizesOnly, LzfseBlockHeader& header);

    // Appends the packed ("bvx2") layout.
    void writeV2(std::vector<std::uint8_t>& out) const;

private:
    static DecodeStatus parseV1(std::span<const std::uint8_t> block, bool sizesOnly, LzfseBlockHeader& h);
    static DecodeStatus parseV2(std::span<const std::uint8_t> block, bool sizesOnly, LzfseBlockHeader& h);
    static bool readFrequencies(std::span<const std::uint8_t> codes, LzfseBlockHeader& h);
};

}  // namespace tallowmere::lzfse
