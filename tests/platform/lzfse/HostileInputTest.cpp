#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "LzfseTestData.h"
#include "platform/lzfse/Format.h"
#include "platform/lzfse/LzfseDecoder.h"
#include "platform/lzfse/LzfseEncoder.h"

using namespace tallowmere::lzfse;
using namespace tallowmere::lzfse::testdata;

namespace {

constexpr std::uint64_t kCap = std::uint64_t{64} << 20;

DecodeStatus decodeStatus(const std::vector<std::uint8_t>& stream, std::uint64_t cap = kCap) {
    std::vector<std::uint8_t> out;
    const DecodeStatus status = LzfseDecoder::decode(stream, out, cap);
    EXPECT_TRUE(status == DecodeStatus::complete || out.empty());
    EXPECT_LE(out.size(), cap);
    return status;
}

std::vector<std::uint8_t> withEnd(std::vector<std::uint8_t> blocks) {
    const std::uint8_t end[4] = {0x62, 0x76, 0x78, 0x24};
    blocks.insert(blocks.end(), end, end + 4);
    return blocks;
}

std::vector<std::uint8_t> withoutEnd(std::vector<std::uint8_t> stream) {
    stream.resize(stream.size() - 4);
    return stream;
}

TEST(HostileInput, HeadersClaimingHugeSizesCostNothing) {
    // A raw block announcing 4 GiB with 8 bytes behind it: the rest never comes.
    std::vector<std::uint8_t> raw = {0x62, 0x76, 0x78, 0x2d, 0xff, 0xff, 0xff, 0xff, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(decodeStatus(raw), DecodeStatus::truncated);
    // An LZVN block whose payload is there but which claims 2 GiB of output.
    std::vector<std::uint8_t> lzvn = {0x62, 0x76, 0x78, 0x6e, 0, 0, 0, 0x80, 8, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decodeStatus(withEnd(lzvn)), DecodeStatus::tooLarge);
    // A packed LZFSE header announcing 4 GiB of output and huge payloads.
    std::vector<std::uint8_t> v2 = withoutEnd(fixture("text-8192.lzfse"));
    store32(v2.data() + 4, 0xffffffff);
    EXPECT_EQ(decodeStatus(withEnd(v2)), DecodeStatus::tooLarge);
    store64(v2.data() + 16, load64(v2.data() + 16) | (std::uint64_t{0xfffff} << 40));
    EXPECT_EQ(decodeStatus(withEnd(v2)), DecodeStatus::truncated);
}

TEST(HostileInput, ADecompressionBombStopsAtTheCap) {
    // One block of 8 MiB of zeros, repeated: each copy is a valid block on its own.
    const std::vector<std::uint8_t> block = withoutEnd(LzfseEncoder::encode(std::vector<std::uint8_t>(8 << 20, 0)));
    ASSERT_LT(block.size(), 10000u);
    std::vector<std::uint8_t> bomb;
    for (int i = 0; i < 9; ++i) bomb.insert(bomb.end(), block.begin(), block.end());
    EXPECT_EQ(decodeStatus(withEnd(bomb)), DecodeStatus::tooLarge);
    const std::vector<std::uint8_t> threeBlocks(bomb.begin(), bomb.begin() + 3 * static_cast<std::ptrdiff_t>(block.size()));
    EXPECT_EQ(decodeStatus(withEnd(threeBlocks), 24 << 20), DecodeStatus::complete);
    EXPECT_EQ(decodeStatus(withEnd(threeBlocks), (24 << 20) - 1), DecodeStatus::tooLarge);
}

// Small damaged streams, each breaking one rule of the format.
TEST(HostileInput, BrokenRulesAreInvalid) {
    struct Damage {
        std::string name;
        std::string base;
        std::size_t offset;
        std::uint8_t value;
    };
    const std::vector<Damage> damages = {
        // "bvx2" block of synth-cross-block starts at 39.
        {"L frequencies add up to 65 of 64 states", "synth-cross-block.lzfse", 39 + 32, 0x9f},
        {"header size below 32", "synth-cross-block.lzfse", 39 + 24, 31},
        {"decoded size differs from the header", "synth-cross-block.lzfse", 39 + 4, 21},
        {"padding bit set in the L/M/D payload", "synth-cross-block.lzfse", 39 + 127 + 8, 0x90},
        {"LZVN undefined opcode", "small-lzvn.lzfse", 12, 0x70},
        {"LZVN first match without a distance", "small-lzvn.lzfse", 12, 0xf3},
        {"LZVN end instruction too early", "small-lzvn.lzfse", 12, 0x06},
        {"LZVN block with nothing to produce", "small-lzvn.lzfse", 4, 0},
        {"unknown magic", "one-byte.lzfse", 3, 0x33},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        std::vector<std::uint8_t> stream = fixture(d.base);
        ASSERT_EQ(decodeStatus(stream), DecodeStatus::complete);
        stream.at(d.offset) = d.value;
        if (d.name == "LZVN block with nothing to produce") {
            stream[5] = stream[6] = stream[7] = 0;
        }
        EXPECT_EQ(decodeStatus(stream), DecodeStatus::invalid);
    }
}

TEST(HostileInput, StateOutsideTheTableIsInvalid) {
    // text-4096's v2 header with l_state raised to 64 (only 6 bits allowed).
    std::vector<std::uint8_t> stream = fixture("text-4096.lzfse");
    const std::uint64_t w2 = load64(stream.data() + 24);
    store64(stream.data() + 24, (w2 & ~(std::uint64_t{0x3ff} << 32)) | (std::uint64_t{64} << 32));
    EXPECT_EQ(decodeStatus(stream), DecodeStatus::invalid);
}

// Garbage and mutated valid streams, for a bounded time: nothing may crash,
// read or write out of bounds (run under the sanitizers), hang, or return
// more than the cap; a rejected stream leaves no output.
TEST(HostileInput, RandomAndMutatedStreamsNeverFault) {
    std::vector<std::vector<std::uint8_t>> seeds;
    for (const char* name : {"small-lzvn", "text-4095", "text-4096", "synth-mixed-blocks", "synth-v1", "run-100k",
                             "synth-cross-block", "pattern-32k", "random-1000"}) {
        seeds.push_back(fixture(std::string(name) + ".lzfse"));
    }
    seeds.push_back(LzfseEncoder::encode(prose(20000)));
    const char* const magics[] = {"bvx-", "bvxn", "bvx1", "bvx2", "bvx$"};

    Random random(2024);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int rounds = 0;
    for (; rounds < 200000 && std::chrono::steady_clock::now() < deadline; ++rounds) {
        std::vector<std::uint8_t> stream;
        const std::size_t kind = random.below(4);
        if (kind == 0) {
            // Garbage behind a real magic, so the block decoders get to see it.
            stream = random.bytes(random.below(1200));
            const char* magic = magics[random.below(5)];
            stream.insert(stream.begin(), magic, magic + 4);
        } else {
            stream = seeds[random.below(seeds.size())];
            const std::size_t edits = 1 + random.below(kind == 1 ? 2 : 8);
            for (std::size_t e = 0; e < edits && !stream.empty(); ++e) {
                const std::size_t at = random.below(stream.size());
                switch (random.below(4)) {
                    case 0: stream[at] ^= static_cast<std::uint8_t>(1u << random.below(8)); break;
                    case 1: stream[at] = static_cast<std::uint8_t>(random.next()); break;
                    case 2: stream.resize(at); break;
                    default: stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random.next())); break;
                }
            }
        }
        std::vector<std::uint8_t> out;
        const DecodeStatus status = LzfseDecoder::decode(stream, out, 1 << 20);
        ASSERT_TRUE(status == DecodeStatus::complete || out.empty());
        ASSERT_LE(out.size(), std::size_t{1} << 20);
    }
    RecordProperty("rounds", rounds);
    EXPECT_GT(rounds, 100);
}

}  // namespace
