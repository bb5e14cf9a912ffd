#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/CharsetConversion.h"

using namespace tallowmere;

namespace {

std::string prolog(const std::string& charset) { return "<?xml version=\"1.0\" encoding=\"" + charset + "\"?>"; }

// A document of at least 100 bytes whose head declares the charset.
std::string document(const std::string& charset, const std::string& body) {
    std::string text = prolog(charset) + "\n<rss>";
    text += std::string(100 - std::min<std::size_t>(100, text.size()), ' ');
    return text + body + "</rss>";
}

// The same document as it reads after conversion.
std::string relabelled(const std::string& charset, const std::string& utf8Body) {
    std::string text = document(charset, utf8Body);
    return text.replace(text.find(charset), charset.size(), "UTF-8");
}

struct CharsetCase {
    std::string charset;
    std::string body;      // in the declared charset
    std::string expected;  // the body in UTF-8
};

TEST(CharsetConversionTest, DecodesEachDeclaredCharset) {
    const std::vector<CharsetCase> cases = {
        {"ISO-8859-1", "caf\xE9 \xA4", "caf\xC3\xA9 \xC2\xA4"},
        {"windows-1250", "\x8A\xE8", "\xC5\xA0\xC4\x8D"},
        {"windows-1251", "\xC0\xFF", "\xD0\x90\xD1\x8F"},
        {"windows-1252", "\x80\xE9\x93", "\xE2\x82\xAC\xC3\xA9\xE2\x80\x9C"},
        {"windows-1253", "\xC1\xF9", "\xCE\x91\xCF\x89"},
        {"windows-1254", "\xD0\xFE", "\xC4\x9E\xC5\x9F"},
        // Longer ISO 8859 part names each decode with their own table.
        {"ISO-8859-10", "\xA1", "\xC4\x84"},
        {"ISO-8859-13", "\xA1", "\xE2\x80\x9D"},
        {"ISO-8859-14", "\xA1", "\xE1\xB8\x82"},
        {"ISO-8859-15", "\xA4 \xBD", "\xE2\x82\xAC \xC5\x93"},
        {"ISO-8859-16", "\xA4", "\xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.charset);
        const auto converted = convertedToUTF8(document(c.charset, c.body));
        ASSERT_TRUE(converted.has_value());
        EXPECT_EQ(*converted, relabelled(c.charset, c.expected));
    }
}

TEST(CharsetConversionTest, LeavesOtherDocumentsAlone) {
    const std::string latin = document("ISO-8859-1", "\xE9");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"99 bytes", (prolog("ISO-8859-1") + std::string(100, ' ')).substr(0, 99)},
        {"declaration after the head", std::string(100, ' ') + prolog("ISO-8859-1") + "\xE9"},
        {"lower case", document("iso-8859-1", "\xE9")},
        {"non-ASCII head", "\xEF\xBB\xBF" + latin},
        {"UTF-8", document("UTF-8", "\xC3\xA9")},
        {"other charset", document("KOI8-R", "\xC1")},
        {"unknown ISO part", document("ISO-8859-12", "\xE9")},
        {"empty", ""},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(convertedToUTF8(bytes).has_value());
    }
}

// One byte the charset does not define must not lose the document.
TEST(CharsetConversionTest, UndefinedBytesBecomeReplacementCharacters) {
    EXPECT_EQ(convertedToUTF8(document("windows-1252", "a\x81\xE9")),
              relabelled("windows-1252", "a\xEF\xBF\xBD\xC3\xA9"));
}

TEST(CharsetConversionTest, HeadBoundsAndTheOneReplacement) {
    // Exactly 100 bytes are examined, and a byte above 127 right behind them is body.
    std::string exact = prolog("ISO-8859-1");
    exact += std::string(100 - exact.size(), ' ');
    ASSERT_EQ(exact.size(), 100u);
    const std::string exactAfter = prolog("UTF-8") + std::string(100 - prolog("ISO-8859-1").size(), ' ');
    EXPECT_EQ(convertedToUTF8(exact), exactAfter);
    EXPECT_EQ(convertedToUTF8(exact + "\xE9"), exactAfter + "\xC3\xA9");
    exact[99] = '\xE9';
    EXPECT_FALSE(convertedToUTF8(exact).has_value());

    // Only the first declaration is rewritten; ISO 8859 wins over Windows.
    // Latin-1 reads as Windows-1252, as on the web: 0x80 is the euro sign.
    const std::string twice = prolog("windows-1252") + "<!-- ISO-8859-1 -->" + std::string(60, ' ') + "\x80";
    EXPECT_EQ(convertedToUTF8(twice),
              prolog("windows-1252") + "<!-- UTF-8 -->" + std::string(60, ' ') + "\xE2\x82\xAC");

    // A name whose last digits lie past the head is still read and replaced whole.
    std::string cut = std::string(100 - std::string("ISO-8859-1").size(), ' ') + "ISO-8859-15 \xA4";
    EXPECT_EQ(convertedToUTF8(cut), std::string(90, ' ') + "UTF-8 \xE2\x82\xAC");
}

TEST(CharsetConversionTest, LargeBody) {
    std::string body(8 * 1024 * 1024, '\xE9');
    const auto converted = convertedToUTF8(document("ISO-8859-1", body));
    ASSERT_TRUE(converted.has_value());
    EXPECT_EQ(converted->size(), relabelled("ISO-8859-1", "").size() + 2 * body.size());
    EXPECT_EQ(converted->substr(converted->size() - 10), "\xC3\xA9\xC3\xA9</rss>");
}

}  // namespace
