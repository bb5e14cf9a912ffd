#include <gtest/gtest.h>

#include "reader/PageTemplate.h"
#include "reader/ReaderHTML.h"
#include "reader/ReaderPageBuilder.h"
#include "themes/ThemeCatalogue.h"

namespace tallowmere {
namespace {

TEST(PageTemplate, FillsInOnePassLongestKeyFirstAndNeverRescansValues) {
    const std::map<std::string, std::string> values{
        {"TOP", "short"}, {"TOP_VIDEO", "long"}, {"FEED_TEXT", "a FEED_TEXT and TOP"}, {"EMPTY", ""}};
    EXPECT_EQ(PageTemplate::fill("<TOP_VIDEO|TOP|FEED_TEXT|EMPTY|TOP_>", values),
              "<long|short|a FEED_TEXT and TOP||short_>");
    EXPECT_EQ(PageTemplate::fill("no keys here", values), "no keys here");
    EXPECT_EQ(PageTemplate::fill("", values), "");
}

TEST(PageTemplate, NoKeyOfThePageLiesInsideAnother) {
    const ThemePointer espresso = ThemeCatalogue::theme(ThemeType::espresso);
    const auto theme = ReaderPageBuilder::values(*espresso, {"F", {}, "T", "", "C", std::string("v"), std::string("i")},
                                                 true, false, "x");
    std::vector<std::string> keys;
    for (const auto& entry : theme) keys.push_back(entry.first);
    for (const char* key : {ReaderPageBuilder::Key::topVideo, ReaderPageBuilder::Key::topImage}) keys.push_back(key);
    for (const auto& a : keys)
        for (const auto& b : keys)
            if (a != b) {
                EXPECT_EQ(b.find(a), std::string::npos) << a << " lies in " << b;
            }
    EXPECT_EQ(keys.size(), 25u);
}

TEST(ReaderHTML, EscapesTextAndKeepsOnlySafeMarkupOfContent) {
    EXPECT_EQ(ReaderHTML::escapedText("a<b & \"c\" 'd'>"), "a&lt;b &amp; &quot;c&quot; &#39;d&#39;&gt;");
    const std::pair<const char*, const char*> cases[] = {
        {"one<br>two<br/>three", "one<br>two<br>three"},
        {"<p class=\"x\" onclick=\"alert(1)\">para</p>", "<p>para</p>"},
        {"<script>alert(1)</script>after", "alert(1)after"},
        {"<img src=x onerror=\"alert(1)\">pic", "pic"},
        {"<a href=\"https://example.com/?a=1&amp;b=2\" onmouseover=\"x()\">l</a>",
         "<a href=\"https://example.com/?a=1&amp;b=2\">l</a>"},
        {"<a href='javascript:alert(1)'>j</a>", "<a>j</a>"},
        {"<A HREF=mailto:me@example.com>m</A>", "<a href=\"mailto:me@example.com\">m</a>"},
        {"<a href=\"file:///etc/passwd\">f</a>", "<a>f</a>"},
        {"<a href=\"&#106;avascript:alert(1)\">e</a>", "<a>e</a>"},
        {"1 < 2 > 0", "1 &lt; 2 &gt; 0"},
        {"<b>bold</b><iframe src=x></iframe><em>em</em>", "<b>bold</b><em>em</em>"},
        {"unterminated <a href=\"x", "unterminated &lt;a href=\"x"},
        {"<a title=\"a>b\" href=\"http://h/\">q</a>", "<a href=\"http://h/\">q</a>"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(ReaderHTML::sanitizedContent(input), expected) << input;
}

TEST(ReaderPageBuilder, FontSizesAndFontFaceRules) {
    EXPECT_EQ(ReaderPageBuilder::fontSizeText(22), "22.0");
    EXPECT_EQ(ReaderPageBuilder::fontSizeText(14.5), "14.5");
    EXPECT_EQ(ReaderPageBuilder::fontSizeText(0.1), "0.1");
    EXPECT_EQ(ReaderPageBuilder::fontFaceRules({}), "");
    EXPECT_EQ(ReaderPageBuilder::fontFaceRules({{"BodoniXT", "BodoniXT.ttf"}}),
              "@font-face{font-family:'BodoniXT';src:local('BodoniXT'),url('Fonts/BodoniXT.ttf');}");
}

}  // namespace
}  // namespace tallowmere
