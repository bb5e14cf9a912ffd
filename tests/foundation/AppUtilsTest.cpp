#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/AppUtils.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

std::vector<std::uint8_t> lzfseFixture(const std::string& name) {
    const std::string bytes = test::readFixture("lzfse/" + name);
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> randomBytes(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> out(count);
    for (auto& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return out;
}

TEST(AppUtils, Identifiers) {
    EXPECT_EQ(AppUtils::productIdentifier(), "tallowmere");
    EXPECT_EQ(AppUtils::showArticleIdentifier(), "showArticle");
}

TEST(AppUtils, AppNameStartsAsTheBuildsNameAndCanBeSet) {
    EXPECT_EQ(AppUtils::appName(), "Tallowmere");
    AppUtils::setAppName("Reader");
    EXPECT_EQ(AppUtils::appName(), "Reader");
    AppUtils::setAppName("Tallowmere");
}

TEST(AppUtils, CompressedDataComesBack) {
    const std::string prose = test::readFixture("lzfse/text-64k.bin");
    std::vector<std::vector<std::uint8_t>> inputs = {
        {'x'},
        std::vector<std::uint8_t>(prose.begin(), prose.begin() + 500),
        std::vector<std::uint8_t>(prose.begin(), prose.end()),
        randomBytes(5000, 1),
        std::vector<std::uint8_t>(4096 * 3, 'z'),
    };
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.size());
        const auto compressed = AppUtils::compress(input, false);
        ASSERT_TRUE(compressed.has_value());
        const auto back = AppUtils::compress(*compressed, true);
        ASSERT_TRUE(back.has_value());
        EXPECT_TRUE(*back == input);
    }
}

TEST(AppUtils, ExactMultiplesOfTheBufferComeBackWhole) {
    // Decoded size 4096 and 8192.
    for (const char* name : {"text-4096", "text-8192"}) {
        const auto decoded = AppUtils::compress(lzfseFixture(std::string(name) + ".lzfse"), true);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_TRUE(*decoded == lzfseFixture(std::string(name) + ".bin")) << name;
    }
    // Random bytes are stored raw with 12 bytes of framing, per block of up to
    // 39996 bytes: compressed sizes of 4096 and 8192.
    for (std::size_t size : {std::size_t{4084}, std::size_t{8180}}) {
        const std::vector<std::uint8_t> input = randomBytes(size, 7);
        const auto compressed = AppUtils::compress(input, false);
        ASSERT_TRUE(compressed.has_value());
        EXPECT_EQ(compressed->size(), size + 12);
        const auto back = AppUtils::compress(*compressed, true);
        ASSERT_TRUE(back.has_value());
        EXPECT_TRUE(*back == input);
    }
}

TEST(AppUtils, ReadsStreamsOfAnotherEncoder) {
    for (const char* name : {"small-lzvn", "text-300k", "random-64k", "synth-mixed-blocks"}) {
        const auto decoded = AppUtils::compress(lzfseFixture(std::string(name) + ".lzfse"), true);
        ASSERT_TRUE(decoded.has_value()) << name;
        EXPECT_TRUE(*decoded == lzfseFixture(std::string(name) + ".bin")) << name;
    }
}

TEST(AppUtils, NoResultForEmptyOrBrokenInput) {
    EXPECT_FALSE(AppUtils::compress({}, false).has_value());
    EXPECT_FALSE(AppUtils::compress({}, true).has_value());
    const std::string text = "<html><body>not compressed</body></html>";
    EXPECT_FALSE(AppUtils::compress(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), true)
                     .has_value());
    for (const char* name : {"bad-distance", "bad-magic", "bad-no-eos", "bad-repeat-first", "bad-truncated-bvx2",
                             "bad-truncated-bvxn"}) {
        EXPECT_FALSE(AppUtils::compress(lzfseFixture(std::string(name) + ".lzfse"), true).has_value()) << name;
    }
    // A stream that stops right before its end-of-stream block.
    std::vector<std::uint8_t> cut = lzfseFixture("one-byte.lzfse");
    cut.resize(cut.size() - 1);
    EXPECT_FALSE(AppUtils::compress(cut, true).has_value());
}

TEST(AppUtils, DecodingStopsAt64MiB) {
    // Nine copies of a block of 8 MiB of zeros announce 72 MiB.
    auto block = AppUtils::compress(std::vector<std::uint8_t>(8 << 20, 0), false);
    ASSERT_TRUE(block.has_value());
    block->resize(block->size() - 4);  // without its end-of-stream block
    std::vector<std::uint8_t> bomb;
    for (int i = 0; i < 9; ++i) bomb.insert(bomb.end(), block->begin(), block->end());
    const std::uint8_t end[4] = {0x62, 0x76, 0x78, 0x24};
    bomb.insert(bomb.end(), end, end + 4);
    EXPECT_LT(bomb.size(), 100000u);
    EXPECT_FALSE(AppUtils::compress(bomb, true).has_value());
}

TEST(AppUtils, AnEmptyStreamDecodesToEmptyData) {
    const auto decoded = AppUtils::compress(lzfseFixture("empty.lzfse"), true);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(decoded->empty());
}

TEST(AppUtils, CompressionRunsOnManyThreadsAtOnce) {
    const std::string prose = test::readFixture("lzfse/text-64k.bin");
    const std::vector<std::uint8_t> input(prose.begin(), prose.end());
    std::vector<int> ok(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const auto compressed = AppUtils::compress(input, false);
                const auto back = compressed ? AppUtils::compress(*compressed, true) : std::nullopt;
                ok[t] += back && *back == input;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(ok, std::vector<int>(8, 5));
}

}  // namespace
