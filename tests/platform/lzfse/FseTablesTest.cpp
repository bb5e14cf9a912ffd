#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "LzfseTestData.h"
#include "platform/lzfse/BackwardBitReader.h"
#include "platform/lzfse/ForwardBitWriter.h"
#include "platform/lzfse/FseTables.h"
#include "platform/lzfse/LzfseBlockHeader.h"

using namespace tallowmere::lzfse;

namespace {

// Eight states shared by frequencies 5, 2 and 1.
const std::array<std::uint16_t, 3> kSmallFreq = {5, 2, 1};

TEST(FseTables, DecoderHandsOutStatesInSymbolOrder) {
    std::array<LiteralEntry, 8> table{};
    ASSERT_EQ(FseTables::buildLiteralDecoder(kSmallFreq, 8, table.data()), 8);
    struct Row {
        int symbol, nbits, base;
    };
    const Row expected[8] = {{0, 1, 2}, {0, 1, 4}, {0, 1, 6}, {0, 0, 0}, {0, 0, 1}, {1, 2, 0}, {1, 2, 4}, {2, 3, 0}};
    for (int state = 0; state < 8; ++state) {
        SCOPED_TRACE(state);
        EXPECT_EQ(table[state].symbol, expected[state].symbol);
        EXPECT_EQ(table[state].nbits, expected[state].nbits);
        EXPECT_EQ(table[state].base, expected[state].base);
    }
}

TEST(FseTables, DecoderRefusesOverfullTablesAndReportsShortOnes) {
    std::array<LiteralEntry, 8> table{};
    const std::array<std::uint16_t, 3> overfull = {5, 3, 1};
    EXPECT_EQ(FseTables::buildLiteralDecoder(overfull, 8, table.data()), -1);
    const std::array<std::uint16_t, 3> short_ = {4, 2, 0};
    EXPECT_EQ(FseTables::buildLiteralDecoder(short_, 8, table.data()), 6);
}

// Encodes `symbols` last first from state 0, the way block payloads are written.
std::vector<std::uint8_t> encodeSequence(const std::vector<int>& symbols, int& bits, std::uint32_t& finalState) {
    std::array<EncodeEntry, 3> table{};
    FseTables::buildEncoder(kSmallFreq, 8, table.data());
    std::vector<std::uint8_t> payload;
    ForwardBitWriter writer(payload);
    std::uint32_t x = 0;
    for (auto it = symbols.rbegin(); it != symbols.rend(); ++it) {
        const EncodeEntry& e = table[*it];
        const unsigned nbits = x >= e.threshold ? e.bitsHigh : e.bitsHigh - 1u;
        writer.write(x & ((1u << nbits) - 1), nbits);
        x = static_cast<std::uint32_t>((nbits == e.bitsHigh ? e.deltaHigh : e.deltaLow) + (x >> nbits));
    }
    bits = writer.finish();
    finalState = x;
    return payload;
}

TEST(FseTables, EncoderAndDecoderMirrorEachOther) {
    const std::vector<int> symbols = {0, 1, 0, 2, 0, 0, 1};
    int bits = 0;
    std::uint32_t state = 0;
    const std::vector<std::uint8_t> payload = encodeSequence(symbols, bits, state);
    EXPECT_EQ(payload, (std::vector<std::uint8_t>{0x64, 0x03}));
    EXPECT_EQ(bits, -6);
    EXPECT_EQ(state, 1u);

    std::array<LiteralEntry, 8> table{};
    FseTables::buildLiteralDecoder(kSmallFreq, 8, table.data());
    BackwardBitReader reader;
    ASSERT_TRUE(reader.init(payload.data(), payload.data() + payload.size(), bits));
    std::vector<int> decoded;
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        reader.refill();
        decoded.push_back(table[state].symbol);
        state = table[state].base + static_cast<std::uint32_t>(reader.read(table[state].nbits));
    }
    EXPECT_EQ(decoded, symbols);
    EXPECT_EQ(state, 0u);
    EXPECT_FALSE(reader.overrun());
    // One more bit would come from below the payload.
    reader.read(1);
    EXPECT_TRUE(reader.overrun());
}

TEST(FseTables, BitReaderRejectsBadPadding) {
    const std::uint8_t bytes[2] = {0x64, 0x03};
    BackwardBitReader reader;
    EXPECT_TRUE(reader.init(bytes, bytes + 2, -6));
    EXPECT_FALSE(reader.init(bytes, bytes + 2, -7));  // bit 9 is set
    EXPECT_FALSE(reader.init(bytes, bytes + 2, 1));
    EXPECT_FALSE(reader.init(bytes, bytes + 2, -8));
    EXPECT_FALSE(reader.init(bytes, bytes, -1));
    EXPECT_TRUE(reader.init(bytes, bytes, 0));
}

TEST(FseTables, NormalisedFrequenciesFillTheStatesAndKeepEverySymbol) {
    tallowmere::lzfse::testdata::Random random(3);
    for (int round = 0; round < 200; ++round) {
        std::array<std::uint32_t, 256> counts{};
        const int used = 1 + static_cast<int>(random.below(256));
        for (int i = 0; i < used; ++i) counts[random.below(256)] += 1 + static_cast<std::uint32_t>(random.below(round % 2 ? 50000 : 3));
        std::array<std::uint16_t, 256> freq{};
        FseTables::normalise(counts, 1024, freq);
        int sum = 0;
        for (std::size_t s = 0; s < 256; ++s) {
            sum += freq[s];
            EXPECT_EQ(counts[s] > 0, freq[s] > 0) << s;
        }
        EXPECT_EQ(sum, 1024);
    }
    std::array<std::uint32_t, 20> none{};
    std::array<std::uint16_t, 20> freq{};
    FseTables::normalise(none, 64, freq);
    EXPECT_EQ(freq, (std::array<std::uint16_t, 20>{}));
}

TEST(LzfseBlockHeader, PackedHeaderReadsBackWhatWasWritten) {
    tallowmere::lzfse::testdata::Random random(9);
    LzfseBlockHeader h;
    h.nRawBytes = 123456;
    h.nLiterals = 40000;
    h.nMatches = 10000;
    h.nLiteralPayloadBytes = 0xFFFFF;
    h.nLmdPayloadBytes = 77;
    h.literalBits = -7;
    h.lmdBits = 0;
    h.literalState = {1023, 0, 512, 7};
    h.lState = 63;
    h.mState = 1;
    h.dState = 255;
    for (auto& f : h.freq) f = static_cast<std::uint16_t>(random.below(5) == 0 ? random.below(1048) : random.below(30));
    std::vector<std::uint8_t> bytes;
    h.writeV2(bytes);
    LzfseBlockHeader back;
    ASSERT_EQ(LzfseBlockHeader::parse(bytes, false, back), DecodeStatus::complete);
    EXPECT_EQ(back.headerSize, bytes.size());
    EXPECT_EQ(back.nRawBytes, h.nRawBytes);
    EXPECT_EQ(back.nLiterals, h.nLiterals);
    EXPECT_EQ(back.nMatches, h.nMatches);
    EXPECT_EQ(back.nLiteralPayloadBytes, h.nLiteralPayloadBytes);
    EXPECT_EQ(back.nLmdPayloadBytes, h.nLmdPayloadBytes);
    EXPECT_EQ(back.literalBits, h.literalBits);
    EXPECT_EQ(back.lmdBits, h.lmdBits);
    EXPECT_EQ(back.literalState, h.literalState);
    EXPECT_EQ(back.lState, h.lState);
    EXPECT_EQ(back.mState, h.mState);
    EXPECT_EQ(back.dState, h.dState);
    EXPECT_EQ(back.freq, h.freq);

    // A table area one byte longer leaves 8 unread bits; one byte shorter runs out.
    for (int delta : {1, -1}) {
        std::vector<std::uint8_t> other = bytes;
        if (delta > 0) other.push_back(0); else other.pop_back();
        tallowmere::lzfse::store32(other.data() + 24, static_cast<std::uint32_t>(other.size()));
        EXPECT_EQ(LzfseBlockHeader::parse(other, false, back), DecodeStatus::invalid) << delta;
    }
}

TEST(LzfseBlockHeader, ReadsAHeaderOfAnotherEncoder) {
    const std::vector<std::uint8_t> stream = tallowmere::lzfse::testdata::fixture("text-4096.lzfse");
    LzfseBlockHeader h;
    ASSERT_EQ(LzfseBlockHeader::parse(stream, false, h), DecodeStatus::complete);
    EXPECT_EQ(h.nRawBytes, 4096u);
    EXPECT_EQ(h.nLiterals, 828u);
    EXPECT_EQ(h.nLiteralPayloadBytes, 497u);
    EXPECT_EQ(h.nMatches, 325u);
    EXPECT_EQ(h.literalState, (std::array<std::uint16_t, 4>{190, 521, 906, 499}));
    EXPECT_EQ(h.nLmdPayloadBytes, 716u);
    EXPECT_EQ(h.lmdBits, -3);
    EXPECT_EQ(h.headerSize, 174u);
    EXPECT_EQ(h.lState, 63);
    EXPECT_EQ(h.mState, 3);
    EXPECT_EQ(h.dState, 7);
    const std::vector<std::uint16_t> l(h.lFreq().begin(), h.lFreq().end());
    EXPECT_EQ(l, (std::vector<std::uint16_t>{36, 4, 2, 2, 4, 2, 2, 2, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 1}));
}

}  // namespace
