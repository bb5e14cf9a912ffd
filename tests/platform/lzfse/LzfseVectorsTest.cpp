#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/lzfse/LzfseDecoder.h"
#include "platform/lzfse/LzfseEncoder.h"
#include "support/TempDir.h"

using namespace tallowmere::lzfse;

namespace {

constexpr std::uint64_t kCap = std::uint64_t{64} << 20;

std::vector<std::uint8_t> fixture(const std::string& name) {
    const std::string bytes = tallowmere::test::readFixture("lzfse/" + name);
    return {bytes.begin(), bytes.end()};
}

const char* const kVectors[] = {
    "eight-bytes",   "empty",       "far-repeat",        "one-byte",           "pattern-32k",
    "random-1000",   "random-64k",  "random-then-text",  "run-100k",           "seven-bytes",
    "short-text",    "small-lzvn",  "synth-cross-block", "synth-mixed-blocks", "synth-v1",
    "text-300k",     "text-4095",   "text-4096",         "text-4097",          "text-64k",
    "text-8192",
};

class Vector : public ::testing::TestWithParam<const char*> {};

TEST_P(Vector, DecodesToItsPlaintext) {
    const std::vector<std::uint8_t> stream = fixture(std::string(GetParam()) + ".lzfse");
    std::vector<std::uint8_t> out;
    ASSERT_EQ(LzfseDecoder::decode(stream, out, kCap), DecodeStatus::complete);
    EXPECT_TRUE(out == fixture(std::string(GetParam()) + ".bin"));
}

TEST_P(Vector, OurEncodingDecodesBack) {
    const std::vector<std::uint8_t> plain = fixture(std::string(GetParam()) + ".bin");
    const std::vector<std::uint8_t> stream = LzfseEncoder::encode(plain);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(LzfseDecoder::decode(stream, out, kCap), DecodeStatus::complete);
    EXPECT_TRUE(out == plain);
    // Never worse than storing the bytes raw.
    EXPECT_LE(stream.size(), plain.size() + plain.size() / 1000 + 12);
}

INSTANTIATE_TEST_SUITE_P(Lzfse, Vector, ::testing::ValuesIn(kVectors));

class BadVector : public ::testing::TestWithParam<const char*> {};

TEST_P(BadVector, IsRejectedWithoutOutput) {
    const std::vector<std::uint8_t> stream = fixture(std::string(GetParam()) + ".lzfse");
    std::vector<std::uint8_t> out{1, 2, 3};
    EXPECT_NE(LzfseDecoder::decode(stream, out, kCap), DecodeStatus::complete);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(Lzfse, BadVector,
                         ::testing::Values("bad-distance", "bad-magic", "bad-no-eos", "bad-repeat-first",
                                           "bad-truncated-bvx2", "bad-truncated-bvxn"));

TEST(LzfseVectors, CutStreamsAreTruncatedAndBrokenMagicInvalid) {
    std::vector<std::uint8_t> scratch;
    EXPECT_EQ(LzfseDecoder::decode(fixture("bad-no-eos.lzfse"), scratch, kCap),
              DecodeStatus::truncated);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(LzfseDecoder::decode(fixture("bad-truncated-bvxn.lzfse"), out, kCap), DecodeStatus::truncated);
    EXPECT_EQ(LzfseDecoder::decode(fixture("bad-magic.lzfse"), out, kCap), DecodeStatus::invalid);
    EXPECT_EQ(LzfseDecoder::decode(fixture("bad-distance.lzfse"), out, kCap), DecodeStatus::invalid);
}

TEST(LzfseVectors, BytesAfterTheEndOfStreamAreIgnored) {
    std::vector<std::uint8_t> stream = fixture("small-lzvn.lzfse");
    const std::vector<std::uint8_t> second = fixture("one-byte.lzfse");
    stream.insert(stream.end(), second.begin(), second.end());
    std::vector<std::uint8_t> out;
    ASSERT_EQ(LzfseDecoder::decode(stream, out, kCap), DecodeStatus::complete);
    EXPECT_TRUE(out == fixture("small-lzvn.bin"));
}

TEST(LzfseVectors, DecodingAppendsToWhatIsThere) {
    std::vector<std::uint8_t> out{'x'};
    ASSERT_EQ(LzfseDecoder::decode(fixture("text-4096.lzfse"), out, kCap), DecodeStatus::complete);
    std::vector<std::uint8_t> expected{'x'};
    const std::vector<std::uint8_t> plain = fixture("text-4096.bin");
    expected.insert(expected.end(), plain.begin(), plain.end());
    EXPECT_TRUE(out == expected);
}

}  // namespace
