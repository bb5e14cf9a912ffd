#include <gtest/gtest.h>

#include <QFontMetricsF>

#include "themes/ThemesManager.h"
#include "window/ArticlesCellView.h"
#include "window/ArticlesListFixture.h"
#include "window/ArticlesRowView.h"
#include "window/ArticlesTableView.h"

using namespace tallowmere;
using namespace tallowmere::test;

namespace {

class ArticlesCellViewTest : public ArticlesListTest {
protected:
    ArticlesCellView::Content contentOf(const Article& background) {
        auto article = source->article(background.objectID());
        EXPECT_TRUE(article.has_value());
        return cell.configure(*article);
    }
    ArticlesTableView table;
    ArticlesCellView cell{&table};
};

TEST_F(ArticlesCellViewTest, LongTextAndMarkupBecomeTwoPlainLinesCutAtTheEnd) {
    const QFont font = ThemesManager::shared().fonts().articleTitle.font;
    const qreal width = 260;
    struct Case {
        const char* name;
        QString text;
        int lines;
        bool cut;
    };
    const std::vector<Case> cases = {
        {"short", QStringLiteral("Short title"), 1, false},
        {"markup as written", QStringLiteral("<script>x</script><b>b</b>"), 1, false},
        {"one megabyte", QStringLiteral("word ").repeated(200000), 2, true},
        {"one long word", QString(5000, QLatin1Char('x')), 2, true},
        {"newlines", QStringLiteral("first\nsecond\nthird"), 2, true},
    };
    for (const Case& c : cases) {
        const QStringList lines = ArticlesCellView::wrappedLines(c.text, font, width);
        ASSERT_EQ(lines.size(), c.lines) << c.name;
        for (const QString& line : lines) EXPECT_LE(QFontMetricsF(font).horizontalAdvance(line), width + 1) << c.name;
        EXPECT_EQ(lines.last().endsWith(QChar(0x2026)), c.cut) << c.name;
    }
    EXPECT_EQ(ArticlesCellView::wrappedLines(cases[1].text, font, 1000).first(), cases[1].text);
}

TEST_F(ArticlesCellViewTest, PreviewFallsBackOnlyPastAbsentTextsAndFieldsWithoutValuesAreEmpty) {
    Feed feed = makeFeed("alpha");
    Feed unnamed = makeFeed("unnamed");
    std::vector<Article> articles;
    background().performAndWait([&] {
        unnamed.setName(std::nullopt);
        auto add = [&](const Feed& f, std::optional<std::string> description, std::optional<std::string> text,
                       std::optional<std::string> preview, std::optional<graph::Date> date) {
            Article article = Article::insert(background());
            article.setTitle("t");
            article.setFeed(f);
            article.setDate(date);
            article.setDescriptionContent(description);
            article.setTextContent(text);
            article.setPreviewContent(preview);
            articles.push_back(article);
        };
        add(feed, "description", "text", "preview", graph::Date{1'700'000'000});
        add(feed, std::nullopt, "", "preview", graph::Date{1'700'000'000});
        add(feed, std::nullopt, std::nullopt, "preview", graph::Date{1'700'000'000});
        add(unnamed, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
        ASSERT_TRUE(background().save().ok());
    });
    settle();
    EXPECT_EQ(contentOf(articles[0]).preview, QStringLiteral("description"));
    EXPECT_EQ(contentOf(articles[1]).preview, QString()) << "an empty text counts as present";
    EXPECT_EQ(contentOf(articles[2]).preview, QStringLiteral("preview"));
    const auto bare = contentOf(articles[3]);
    EXPECT_TRUE(bare.feedName.isEmpty());
    EXPECT_TRUE(bare.date.isEmpty());
    EXPECT_TRUE(bare.preview.isEmpty());
    EXPECT_EQ(contentOf(articles[0]).date, ArticlesCellView::formattedDate(graph::Date{1'700'000'000}));
    EXPECT_FALSE(contentOf(articles[0]).date.isEmpty());
}

TEST_F(ArticlesCellViewTest, AnArticleThatLostItsFeedKeepsWhatItsRowShowed) {
    Feed feed = makeFeed("alpha");
    auto articles = makeArticles(feed, {{"kept title", 100, true, false, "kept preview"}});
    settle();
    const auto before = contentOf(articles[0]);
    EXPECT_FALSE(before.isRead);
    background().performAndWait([&] {
        articles[0].setFeed(std::nullopt);
        articles[0].setTitle("changed");
        ASSERT_TRUE(background().save().ok());
    });
    settle();
    const auto after = contentOf(articles[0]);
    EXPECT_EQ(after.title, QStringLiteral("kept title"));
    EXPECT_EQ(after.preview, QStringLiteral("kept preview"));
    EXPECT_EQ(after.feedName, QStringLiteral("alpha"));
}

TEST_F(ArticlesCellViewTest, RowsAreFixedHighWhateverTheirText) {
    EXPECT_EQ(ArticlesRowView::height, 115.0);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 300, 10);
    EXPECT_EQ(cell.sizeHint(option, {}).height(), 115);
    EXPECT_TRUE(table.uniformItemSizes());
}

}  // namespace
