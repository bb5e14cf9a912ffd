#include <string>

#include <gtest/gtest.h>

#include "feeds/IconParser.h"

using tallowmere::IconParser;

namespace {

std::optional<std::string> linkIn(const std::string& html) {
    return IconParser::iconLink(std::span(reinterpret_cast<const std::uint8_t*>(html.data()), html.size()));
}

struct Case {
    const char* name;
    std::string html;
    std::optional<std::string> expected;
};

TEST(IconParserTest, ChoosesTheLinkByQueryAndSize) {
    const Case cases[] = {
        {"apple-touch-icon wins over icon",
         R"(<link rel="icon" href="/favicon.png"><link rel="apple-touch-icon" href="/touch.png">)", "/touch.png"},
        {"57x57 beats 180x180",
         R"(<link rel="apple-touch-icon" sizes="180x180" href="/180.png">
            <link rel="apple-touch-icon" sizes="57x57" href="/57.png">)",
         "/57.png"},
        {"no sizes beats 120x120",
         R"(<link rel="apple-touch-icon" sizes="120x120" href="/120.png"><link rel="apple-touch-icon" href="/plain.png">)",
         "/plain.png"},
        {"sizes outside the list give the first in document order",
         R"(<link rel="icon" sizes="48x48" href="/48.png"><link rel="icon" sizes="64x64" href="/64.png">)", "/48.png"},
        {"16x16 is ranked last but ranked",
         R"(<link rel="icon" sizes="48x48" href="/48.png"><link rel="icon" sizes="16x16" href="/16.png">)", "/16.png"},
        {"sizes compare exactly",
         R"(<link rel="icon" sizes="57X57" href="/upper.png"><link rel="icon" sizes="32x32" href="/32.png">)", "/32.png"},
        {"svg links are no candidates",
         R"(<link rel="icon" href="/icon.svg"><link rel="icon" sizes="96x96" href="/96.png">)", "/96.png"},
        {"only svg apple-touch-icons: nothing, the second query is not tried",
         R"(<link rel="apple-touch-icon" href="/touch.svg"><link rel="icon" href="/favicon.png">)", std::nullopt},
        {"the svg test is case-sensitive", R"(<link rel="icon" href="/icon.SVG">)", "/icon.SVG"},
        {"a query after .svg keeps the link", R"(<link rel="icon" href="/icon.svg?v=2">)", "/icon.svg?v=2"},
        {"any rel containing icon", R"(<link rel="shortcut icon" href="/s.ico">)", "/s.ico"},
        {"rel containing icon inside a word", R"(<link rel="mask-iconic" href="/m.png">)", "/m.png"},
        {"apple-touch-icon with a suffix", R"(<link rel="apple-touch-icon-precomposed" href="/pre.png">)", "/pre.png"},
        {"rel is compared case-sensitively", R"(<link rel="ICON" href="/upper.ico">)", std::nullopt},
        {"links without href are skipped", R"(<link rel="icon" sizes="57x57"><link rel="icon" href="/b.ico">)", "/b.ico"},
        {"no icon link", R"(<html><head><title>x</title><link rel="stylesheet" href="/s.css"></head></html>)",
         std::nullopt},
        {"href kept exactly as written", R"(<link rel="icon" href="  img/fav.ico">)", "  img/fav.ico"},
        {"not HTML", std::string("\x89PNG\r\n\x1a\n", 8), std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(linkIn(item.html), item.expected) << item.name;
    }
}

}  // namespace
