#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LzfseTestData.h"
#include "platform/lzfse/LzfseDecoder.h"
#include "platform/lzfse/LzfseEncoder.h"

using namespace tallowmere::lzfse;
using namespace tallowmere::lzfse::testdata;

namespace {

constexpr std::uint64_t kCap = std::uint64_t{64} << 20;

std::vector<std::uint8_t> roundTrip(const std::vector<std::uint8_t>& plain, std::vector<std::uint8_t>* stream = nullptr) {
    const std::vector<std::uint8_t> encoded = LzfseEncoder::encode(plain);
    if (stream) *stream = encoded;
    std::vector<std::uint8_t> out;
    EXPECT_EQ(LzfseDecoder::decode(encoded, out, kCap), DecodeStatus::complete);
    return out;
}

struct Case {
    std::string name;
    std::vector<std::uint8_t> plain;
    std::vector<std::string> kinds;  // expected block magics, empty to skip the check
};

std::vector<Case> cases() {
    Random random(42);
    std::vector<Case> all;
    all.push_back({"empty", {}, {"bvx-", "bvx$"}});
    all.push_back({"seven bytes", prose(7), {"bvx-", "bvx$"}});
    all.push_back({"eight zero bytes", std::vector<std::uint8_t>(8, 0), {}});
    all.push_back({"short prose", prose(1000), {"bvxn", "bvx$"}});
    all.push_back({"short random", random.bytes(1000), {"bvx-", "bvx$"}});
    all.push_back({"largest for LZVN", prose(4095), {"bvxn", "bvx$"}});
    all.push_back({"smallest for LZFSE", prose(4096), {"bvx2", "bvx$"}});
    all.push_back({"prose 200k", prose(200000), {}});
    all.push_back({"random 100k stored raw", random.bytes(100000), {"bvx-", "bvx-", "bvx-", "bvx$"}});
    // Runs much longer than one triple can carry, in blocks full of triples.
    all.push_back({"1 MiB of one byte", std::vector<std::uint8_t>(1 << 20, 'a'), {}});
    std::vector<std::uint8_t> runs;
    for (int i = 0; i < 30000; ++i) runs.insert(runs.end(), 5 + random.below(3), static_cast<std::uint8_t>(i % 7));
    // More than 10000 triples: the first block fills up.
    all.push_back({"many short runs", runs, {"bvx2", "bvx2", "bvx$"}});
    // Literal runs longer than 315 bytes between matches.
    std::vector<std::uint8_t> islands;
    const std::vector<std::uint8_t> word = prose(64);
    for (int i = 0; i < 40; ++i) {
        const std::vector<std::uint8_t> noise = random.bytes(700 + random.below(2000));
        islands.insert(islands.end(), noise.begin(), noise.end());
        islands.insert(islands.end(), word.begin(), word.end());
    }
    all.push_back({"long literal runs", islands, {}});
    // The same random stretch again after 200 KiB and after 300 KiB: one
    // within the longest distance, one beyond it.
    std::vector<std::uint8_t> far = random.bytes(20000);
    const std::vector<std::uint8_t> gap = prose(180000);
    std::vector<std::uint8_t> farRepeat = far;
    farRepeat.insert(farRepeat.end(), gap.begin(), gap.end());
    farRepeat.insert(farRepeat.end(), far.begin(), far.end());
    farRepeat.insert(farRepeat.end(), gap.begin(), gap.end());
    farRepeat.insert(farRepeat.end(), far.begin(), far.end());
    all.push_back({"far repeats", farRepeat, {}});
    return all;
}

TEST(LzfseEncoder, RoundTripsAndChoosesBlockKindsBySize) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> stream;
        EXPECT_TRUE(roundTrip(c.plain, &stream) == c.plain);
        if (!c.kinds.empty()) {
            EXPECT_EQ(blockKinds(stream), c.kinds);
        }
        // Never more than the framing of storing the bytes raw.
        EXPECT_LE(stream.size(), c.plain.size() + 12 + 8 * (c.plain.size() / 30000));
    }
}

TEST(LzfseEncoder, EmptyInputIsAnEmptyRawBlock) {
    EXPECT_EQ(LzfseEncoder::encode({}),
              (std::vector<std::uint8_t>{0x62, 0x76, 0x78, 0x2d, 0, 0, 0, 0, 0x62, 0x76, 0x78, 0x24}));
}

TEST(LzfseEncoder, CompressesProseAndRuns) {
    const std::vector<std::uint8_t> text = fixture("text-300k.bin");
    const std::vector<std::uint8_t> stream = LzfseEncoder::encode(text);
    EXPECT_LT(stream.size(), text.size() * 30 / 100);

    const std::vector<std::uint8_t> run(1 << 20, 'a');
    EXPECT_LT(LzfseEncoder::encode(run).size(), 2000u);
}

TEST(LzfseEncoder, FarMatchesUseTheWholeWindow) {
    // Repeats at distance 174080 - 40960 only pay off when matched across blocks.
    const std::vector<std::uint8_t> plain = fixture("far-repeat.bin");
    std::vector<std::uint8_t> stream;
    EXPECT_TRUE(roundTrip(plain, &stream) == plain);
    EXPECT_LT(stream.size(), 70000u);
}

}  // namespace
