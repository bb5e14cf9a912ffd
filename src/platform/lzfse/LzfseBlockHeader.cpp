#include "platform/lzfse/LzfseBlockHeader.h"

#include "platform/lzfse/ForwardBitWriter.h"

namespace tallowmere::lzfse {

namespace {

std::uint16_t load16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t field(std::uint64_t word, unsigned first, unsigned width) {
    return static_cast<std::uint32_t>(lowBits(word >> first, width));
}

// The variable-length code of one frequency: its bits (first bit in bit 0)
// and length.
struct FrequencyCode {
    std::uint32_t bits;
    unsigned length;
};

FrequencyCode frequencyCode(std::uint32_t value) {
    if (value < 2) return {value << 1, 2};
    if (value < 4) return {0b001u | ((value - 2) << 2), 3};
    if (value < 8) return {0b011u | ((value - 4) << 3), 5};
    if (value < 24) return {0b0111u | ((value - 8) << 4), 8};
    return {0b1111u | ((value - 24) << 4), 14};
}

}  // namespace

DecodeStatus LzfseBlockHeader::parse(std::span<const std::uint8_t> block, bool sizesOnly, LzfseBlockHeader& h) {
    if (block.size() < 4) return DecodeStatus::truncated;
    const std::uint32_t magic = load32(block.data());
    if (magic == kV1Magic) return parseV1(block, sizesOnly, h);
    if (magic == kV2Magic) return parseV2(block, sizesOnly, h);
    return DecodeStatus::invalid;
}

DecodeStatus LzfseBlockHeader::parseV1(std::span<const std::uint8_t> block, bool sizesOnly, LzfseBlockHeader& h) {
    if (block.size() < kV1HeaderSize) return DecodeStatus::truncated;
    const std::uint8_t* p = block.data();
    h.headerSize = kV1HeaderSize;
    h.nRawBytes = load32(p + 4);
    h.nLiterals = load32(p + 12);
    h.nMatches = load32(p + 16);
    h.nLiteralPayloadBytes = load32(p + 20);
    h.nLmdPayloadBytes = load32(p + 24);
    if (sizesOnly) return DecodeStatus::complete;
    h.literalBits = static_cast<std::int32_t>(load32(p + 28));
    for (int i = 0; i < 4; ++i) h.literalState[i] = load16(p + 32 + 2 * i);
    h.lmdBits = static_cast<std::int32_t>(load32(p + 40));
    h.lState = load16(p + 44);
    h.mState = load16(p + 46);
    h.dState = load16(p + 48);
    for (int i = 0; i < kFrequencyCount; ++i) h.freq[i] = load16(p + 50 + 2 * i);
    return DecodeStatus::complete;
}

DecodeStatus LzfseBlockHeader::parseV2(std::span<const std::uint8_t> block, bool sizesOnly, LzfseBlockHeader& h) {
    if (block.size() < kV2FixedHeaderSize) return DecodeStatus::truncated;
    const std::uint8_t* p = block.data();
    const std::uint64_t w0 = load64(p + 8);
    const std::uint64_t w1 = load64(p + 16);
    const std::uint64_t w2 = load64(p + 24);
    h.nRawBytes = load32(p + 4);
    h.nLiterals = field(w0, 0, 20);
    h.nLiteralPayloadBytes = field(w0, 20, 20);
    h.nMatches = field(w0, 40, 20);
    h.literalBits = static_cast<int>(field(w0, 60, 3)) - 7;
    for (int i = 0; i < 4; ++i) h.literalState[i] = static_cast<std::uint16_t>(field(w1, 10 * i, 10));
    h.nLmdPayloadBytes = field(w1, 40, 20);
    h.lmdBits = static_cast<int>(field(w1, 60, 3)) - 7;
    h.headerSize = field(w2, 0, 32);
    h.lState = static_cast<std::uint16_t>(field(w2, 32, 10));
    h.mState = static_cast<std::uint16_t>(field(w2, 42, 10));
    h.dState = static_cast<std::uint16_t>(field(w2, 52, 10));
    if (h.headerSize < kV2FixedHeaderSize) return DecodeStatus::invalid;
    if (sizesOnly) return DecodeStatus::complete;
    if (block.size() < h.headerSize) return DecodeStatus::truncated;
    return readFrequencies(block.subspan(kV2FixedHeaderSize, h.headerSize - kV2FixedHeaderSize), h)
               ? DecodeStatus::complete
               : DecodeStatus::invalid;
}

bool LzfseBlockHeader::readFrequencies(std::span<const std::uint8_t> codes, LzfseBlockHeader& h) {
    if (codes.empty()) {
        h.freq.fill(0);
        return true;
    }
    const std::uint64_t available = 8 * std::uint64_t{codes.size()};
    std::uint64_t consumed = 0;
    std::uint64_t window = 0;  // unread bits, next one in bit 0
    unsigned held = 0;
    std::size_t next = 0;
    for (int i = 0; i < kFrequencyCount; ++i) {
        // Past the table area the window fills with zeros; using them is caught below.
        while (held <= 56) {
            const std::uint64_t byte = next < codes.size() ? codes[next] : 0;
            ++next;
            window |= byte << held;
            held += 8;
        }
        unsigned length;
        std::uint32_t value;
        if ((window & 1) == 0) {
            length = 2;
            value = static_cast<std::uint32_t>((window >> 1) & 1);
        } else if ((window & 2) == 0) {
            length = 3;
            value = 2 + static_cast<std::uint32_t>((window >> 2) & 1);
        } else if ((window & 4) == 0) {
            length = 5;
            value = 4 + static_cast<std::uint32_t>((window >> 3) & 3);
        } else if ((window & 8) == 0) {
            length = 8;
            value = 8 + static_cast<std::uint32_t>((window >> 4) & 0xf);
        } else {
            length = 14;
            value = 24 + static_cast<std::uint32_t>((window >> 4) & 0x3ff);
        }
        h.freq[i] = static_cast<std::uint16_t>(value);
        window >>= length;
        held -= length;
        consumed += length;
    }
    // The codes must end inside the last byte of the table area.
    return consumed <= available && available - consumed < 8;
}

void LzfseBlockHeader::writeV2(std::vector<std::uint8_t>& out) const {
    std::vector<std::uint8_t> codes;
    {
        ForwardBitWriter writer(codes);
        for (std::uint16_t f : freq) {
            const FrequencyCode code = frequencyCode(f);
            writer.write(code.bits, code.length);
        }
        writer.finish();
    }
    const std::uint32_t size = static_cast<std::uint32_t>(kV2FixedHeaderSize + codes.size());
    const std::uint64_t w0 = std::uint64_t{nLiterals} | (std::uint64_t{nLiteralPayloadBytes} << 20) |
                             (std::uint64_t{nMatches} << 40) | (std::uint64_t(literalBits + 7) << 60);
    std::uint64_t w1 = (std::uint64_t{nLmdPayloadBytes} << 40) | (std::uint64_t(lmdBits + 7) << 60);
    for (int i = 0; i < 4; ++i) w1 |= std::uint64_t{literalState[i]} << (10 * i);
    const std::uint64_t w2 = std::uint64_t{size} | (std::uint64_t{lState} << 32) |
                             (std::uint64_t{mState} << 42) | (std::uint64_t{dState} << 52);
    const std::size_t at = out.size();
    out.resize(at + kV2FixedHeaderSize);
    std::uint8_t* p = out.data() + at;
    store32(p, kV2Magic);
    store32(p + 4, nRawBytes);
    store64(p + 8, w0);
    store64(p + 16, w1);
    store64(p + 24, w2);
    out.insert(out.end(), codes.begin(), codes.end());
}

}  // namespace tallowmere::lzfse
