#include <gtest/gtest.h>

#include "platform/dispatch/MainQueue.h"
#include "reader/ReaderPageBuilder.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/TempDir.h"
#include "themes/ColorHelpers.h"
#include "themes/ThemeCatalogue.h"

namespace tallowmere {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ReaderPageBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir.path() / "store" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok());
        controller = opened.value();
    }
    void TearDown() override {
        dispatch::MainQueue::shared().drain();
        controller.reset();
    }
    graph::Context& main() { return *controller->mainContext(); }
    Article makeArticle(std::optional<std::string> title = std::string("Tom & Jerry <3")) {
        auto feed = Feed::insert(main());
        feed.setName("Feed <b>Name</b>");
        feed.setUrl("https://feed.example/rss");
        auto article = Article::insert(main());
        article.setFeed(feed);
        article.setTitle(std::move(title));
        article.setDate(graph::Date{1'700'000'000});
        article.setLink("https://feed.example/a");
        article.setTextContent("Stored text with FEED_TEXT and <script>alert(1)</script> in it");
        return article;
    }

    test::TempDir dir;
    std::shared_ptr<DataController> controller;
};

TEST_F(ReaderPageBuilderTest, EveryThemeGivesItsFontsColoursAndSettings) {
    const Article article = makeArticle();
    for (int raw = 0; raw <= 7; ++raw) {
        const ThemePointer theme = ThemeCatalogue::theme(static_cast<ThemeType>(raw));
        const auto page = ReaderPageBuilder::build(*theme, article, std::nullopt, true, false);
        ASSERT_TRUE(page) << theme->name();
        const std::string& html = page->html;
        const ThemeFonts& fonts = theme->fonts();
        SCOPED_TRACE(theme->name());
        EXPECT_TRUE(contains(html, "font-family: \"" + fonts.readerTitle.name + "\", sans-serif; font-size: " +
                                       ReaderPageBuilder::fontSizeText(fonts.readerTitle.size) + "px; color: " +
                                       rgbaString(theme->colors().readerTitle)));
        EXPECT_TRUE(contains(html, ReaderPageBuilder::fontFaceRules(fonts.customFontFamilies)));
        EXPECT_TRUE(contains(html, "border-top: 1px solid " + rgbaString(theme->colors().separator)));
        EXPECT_TRUE(contains(html, std::string("mix-blend-mode: ") +
                                       (theme->settings().multiplyImages ? "multiply" : "normal")));
        // Without a reader background of its own the page paints the material
        // of the reader's style.
        const QColor background = theme->settings().useReaderBackgroundColor
                                      ? theme->colors().readerBackground
                                      : contentMaterial(theme->settings().readerStyle);
        EXPECT_TRUE(contains(html, "background-color: " + rgbaString(background) + ";"));
        EXPECT_TRUE(contains(html, "class=\"hide\""));
    }
    const auto bodoni = ReaderPageBuilder::build(*ThemeCatalogue::theme(ThemeType::raspberry), article, std::nullopt, true, false);
    const auto espresso = ReaderPageBuilder::build(*ThemeCatalogue::theme(ThemeType::espresso), article, std::nullopt, true, false);
    ASSERT_TRUE(bodoni && espresso);
    EXPECT_TRUE(contains(bodoni->html + espresso->html,
                         "@font-face{font-family:'BodoniXT';src:local('BodoniXT'),url('Fonts/BodoniXT.ttf');}"));
    EXPECT_TRUE(contains(espresso->html, "font-size: 22.0px"));
}

TEST_F(ReaderPageBuilderTest, ArticleValuesAreInertAndTheCallersTextWins) {
    const Article article = makeArticle();
    const ThemePointer themePointer = ThemeCatalogue::theme(ThemeType::espresso);
    const Theme& theme = *themePointer;
    const auto stored = ReaderPageBuilder::build(theme, article, std::nullopt, true, false);
    ASSERT_TRUE(stored);
    EXPECT_TRUE(contains(stored->html, "<div class=\"feed\">Feed &lt;b&gt;Name&lt;/b&gt;</div>"));
    EXPECT_TRUE(contains(stored->html, "<h1 class=\"title\">Tom &amp; Jerry &lt;3</h1>"));
    EXPECT_TRUE(contains(stored->html, "Stored text with FEED_TEXT and alert(1) in it"));
    EXPECT_TRUE(contains(stored->html, ReaderPageBuilder::dateText(graph::Date{1'700'000'000})));
    EXPECT_FALSE(contains(stored->html, "<script>"));
    EXPECT_TRUE(contains(stored->html, ">Show Full Article</a>"));

    const auto given = ReaderPageBuilder::build(theme, article, std::string("Given<br>text"), false, false);
    ASSERT_TRUE(given);
    EXPECT_TRUE(contains(given->html, "<div class=\"content\">Given<br>text</div>"));
    EXPECT_TRUE(contains(given->html, "id=\"tallowmere-full_article\"></a>"));
    const auto empty = ReaderPageBuilder::build(theme, article, std::string(), false, false);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(contains(empty->html, "Stored text with"));
}

TEST_F(ReaderPageBuilderTest, MediaPrecedenceAndMissingValues) {
    const ThemePointer themePointer = ThemeCatalogue::theme(ThemeType::espresso);
    const Theme& theme = *themePointer;
    const Article article = makeArticle();
    auto page = ReaderPageBuilder::build(theme, article, std::nullopt, true, true);
    ASSERT_TRUE(page);
    EXPECT_TRUE(page->needsMedia);
    EXPECT_TRUE(contains(page->html, "src=\"IMAGE_SOURCE\""));

    article.setTopImage("https://img.example/a.jpg?x=\"1\"");
    page = ReaderPageBuilder::build(theme, article, std::nullopt, true, true);
    EXPECT_FALSE(page->needsMedia);
    EXPECT_TRUE(contains(page->html, "src=\"https://img.example/a.jpg?x=&quot;1&quot;\""));

    article.setTopVideo("https://video.example/v.mp4");
    page = ReaderPageBuilder::build(theme, article, std::nullopt, true, true);
    EXPECT_TRUE(contains(page->html, "class=\"show\" src=\"https://video.example/v.mp4\""));
    EXPECT_TRUE(contains(page->html, "src=\"IMAGE_SOURCE\""));
    // Without media wanted, nothing of the article's media is used.
    EXPECT_TRUE(contains(ReaderPageBuilder::build(theme, article, std::nullopt, true, false)->html, "src=\"VIDEO_SOURCE\""));

    EXPECT_FALSE(ReaderPageBuilder::build(theme, makeArticle(std::nullopt), std::nullopt, true, false));
    const Article noText = makeArticle();
    noText.setTextContent(std::nullopt);
    EXPECT_FALSE(ReaderPageBuilder::build(theme, noText, std::nullopt, true, false));
    EXPECT_TRUE(ReaderPageBuilder::build(theme, noText, std::string("given"), true, false));
}

}  // namespace
}  // namespace tallowmere
