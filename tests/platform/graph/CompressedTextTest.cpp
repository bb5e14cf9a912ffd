#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/graph/CompressedText.h"

namespace tallowmere::graph {
namespace {

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

std::string proseOf(std::size_t size) {
    const std::string words = "<p>The council met on Tuesday; café naïve résumé, &amp; more.</p>\n";
    std::string text;
    while (text.size() < size) text += words + std::to_string(text.size() % 97);
    text.resize(size);
    return text;
}

// What is stored for a text: its compressed form, or the text itself.
std::string readBack(const std::string& text) {
    auto stored = CompressedText::encode(text);
    if (!stored) return text;
    EXPECT_LT(stored->size(), text.size());
    auto decoded = CompressedText::decode(*stored);
    EXPECT_TRUE(decoded.ok()) << decoded.error().message;
    return decoded.ok() ? decoded.value() : std::string();
}

TEST(CompressedText, EveryTextReadsBackExactly) {
    std::string nonUtf8 = proseOf(3000);
    for (std::size_t at = 0; at < nonUtf8.size(); at += 7) nonUtf8[at] = static_cast<char>(0x80 + at % 0x7F);
    nonUtf8[10] = '\0';
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"shorter than worth it", std::string(CompressedText::minimumLength - 1, 'a')},
        {"just long enough", std::string(CompressedText::minimumLength, 'a')},
        {"prose", proseOf(1500)},
        {"bytes that are not UTF-8, a zero among them", nonUtf8},
        {"incompressible", randomBytes(5000, 7)},
        {"huge", proseOf(24 * 1024 * 1024)},
    };
    for (const auto& [name, text] : cases) EXPECT_TRUE(readBack(text) == text) << name;
    EXPECT_FALSE(CompressedText::encode(""));
    EXPECT_FALSE(CompressedText::encode(randomBytes(5000, 7))) << "a form that saves nothing is not used";
}

TEST(CompressedText, DamagedFormsAreErrorsNotTexts) {
    const Bytes good = *CompressedText::encode(proseOf(4000));
    Bytes truncated(good.begin(), good.end() - 5);
    Bytes longer = good;
    longer.push_back(0);
    Bytes wrongMarker = good;
    wrongMarker[0] = 0x7F;
    Bytes lyingLength = good;
    lyingLength[1] ^= 0x01;  // one more or one less than the stream holds
    // Announces a gigabyte from a few bytes: refused before anything is allocated.
    const Bytes bomb = {0x01, 0x80, 0x80, 0x80, 0x80, 0x04, 0x03, 0x00};
    Bytes noLength = {0x01, 0x80};
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty", {}},       {"truncated", truncated},      {"trailing byte", longer}, {"wrong marker", wrongMarker},
        {"length", lyingLength}, {"bomb", bomb},             {"no length", noLength},
        {"garbage", Bytes(100, 0x01)},
    };
    for (const auto& [name, bytes] : cases) EXPECT_FALSE(CompressedText::decode(bytes).ok()) << name;
}

}  // namespace
}  // namespace tallowmere::graph
