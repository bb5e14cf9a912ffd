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

// A text compressed against a dictionary it repeats: far smaller than on
// its own, back only with that same dictionary.
TEST(CompressedText, ATextCompressedAgainstADictionaryNeedsExactlyThatDictionary) {
    const std::string text = proseOf(3000);
    const std::string markup = "<div>" + text.substr(0, 2000) + "<img src=\"a.png\"></div>";
    std::string farBack = proseOf(100 * 1024);  // only its last window can be reached
    farBack.replace(farBack.size() - 3000, 3000, text);
    const std::vector<std::pair<const char*, std::string>> dictionaries = {
        {"markup", markup}, {"the text itself", text}, {"longer than a window", farBack}, {"a single byte", "x"}};
    for (const auto& [name, dictionary] : dictionaries) {
        auto stored = CompressedText::encode(text, dictionary);
        ASSERT_TRUE(stored) << name;
        auto decoded = CompressedText::decode(*stored, dictionary);
        ASSERT_TRUE(decoded.ok()) << name << ": " << decoded.error().message;
        EXPECT_TRUE(decoded.value() == text) << name;
        EXPECT_FALSE(CompressedText::decode(*stored).ok()) << name << ": no dictionary";
        EXPECT_FALSE(CompressedText::decode(*stored, "").ok()) << name << ": an empty one";
        std::string changed = dictionary;
        changed.back() ^= 0x01;
        EXPECT_FALSE(CompressedText::decode(*stored, changed).ok()) << name << ": another one";
    }
    EXPECT_LT(CompressedText::encode(text, markup)->size() * 2, CompressedText::encode(text)->size());
    // A form that stands on its own reads whatever dictionary is offered.
    EXPECT_EQ(CompressedText::decode(*CompressedText::encode(text), markup).value(), text);
    EXPECT_EQ(CompressedText::encode(text, "")->front(), CompressedText::encode(text)->front());

    Bytes noChecksum = *CompressedText::encode(text, markup);
    noChecksum.resize(4);
    EXPECT_FALSE(CompressedText::decode(noChecksum, markup).ok());
}

}  // namespace
}  // namespace tallowmere::graph
