#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "feeds/PreviewImage.h"

using tallowmere::PreviewImage;

namespace {

constexpr const char* articleLink = "https://news.example/world/2026/story.html?ref=feed";

struct PreviewCase {
    const char* name;
    const char* preview;
    std::optional<std::string> link;
    std::optional<std::string> expected;
};

const PreviewCase previewCases[] = {
    {"SchemeRelative", R"(<p><img src="//cdn.example/x.png"></p>)", articleLink, "https://cdn.example/x.png"},
    {"PathRelative", R"(<img src="img/x.png">)", articleLink, "https://news.example/world/2026/img/x.png"},
    {"DotSegments", R"(<img src="../../media/x.png">)", articleLink, "https://news.example/media/x.png"},
    {"RootRelative", R"(<img src="/x.png">)", articleLink, "https://news.example/x.png"},
    {"Absolute", R"(<img src="http://images.example/a/b.jpg?w=600">)", articleLink,
     "http://images.example/a/b.jpg?w=600"},
    {"OnlyTheFirstImage", R"(<img alt="no source"><img src="/first.png"><img src="/second.png">)", articleLink,
     "https://news.example/first.png"},
    {"EscapedMarkup", "&lt;p&gt;&lt;img src=&quot;/escaped.png&quot;&gt;&lt;/p&gt;", articleLink,
     "https://news.example/escaped.png"},
    {"SpacesAndNonASCII", "<img src=\"  /photos/gr\xc3\xb6\xc3\x9f""e 1.jpg\n\">", articleLink,
     "https://news.example/photos/gr%C3%B6%C3%9Fe%201.jpg"},
    {"ForeignCharsetDeclaration",
     "<meta charset=\"iso-8859-1\"><p>caf\xc3\xa9</p><img src=\"/caf\xc3\xa9.jpg\">", articleLink,
     "https://news.example/caf%C3%A9.jpg"},
    {"StrayPercent", R"(<img src="/100%.png">)", articleLink, "https://news.example/100%25.png"},
    {"EmptySource", R"(<img src="  "><img src="/later.png">)", articleLink, std::nullopt},
    {"NoImage", "<p>Only words here.</p>", articleLink, std::nullopt},
    {"EmptyPreview", "", articleLink, std::nullopt},
    {"NoLinkDropsTheSlash", R"(<img src="/x.png">)", std::nullopt, "x.png"},
    {"RelativeLinkIsNotUsable", R"(<img src="/x.png">)", "/world/story.html", "x.png"},
    {"NoLinkKeepsOtherSources", R"(<img src="//cdn.example/x.png">)", std::nullopt, "/cdn.example/x.png"},
};

std::ostream& operator<<(std::ostream& out, const PreviewCase& item) { return out << item.name; }

class PreviewImageAddress : public testing::TestWithParam<PreviewCase> {};

}  // namespace

TEST_P(PreviewImageAddress, ResolvesTheFirstImageAgainstTheArticle) {
    const PreviewCase& item = GetParam();
    EXPECT_EQ(PreviewImage::firstImageAddress(item.preview, item.link), item.expected);
}

INSTANTIATE_TEST_SUITE_P(PreviewSources, PreviewImageAddress, testing::ValuesIn(previewCases),
                         [](const auto& info) { return std::string(info.param.name); });
