#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "menus/DebugMenuItem.h"
#include "sources/SearchManager.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "support/TempDir.h"
#include "support/ui/UiWait.h"

using namespace tallowmere;

namespace {

// A store and a search index in a fresh folder, and a Debug menu over them.
class DebugMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = DataController::open(dir.path() / "data" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        controller = opened.value();
        search = std::make_unique<SearchManager>(dir.path() / "data" / "Tallowmere.index", controller);
        ASSERT_TRUE(search->hasIndex());
        item = std::make_unique<DebugMenuItem>(search.get());
        reindexEntry = item->actionForSelector("reindexArticles:");
        // Every title the submenu shows, in order.
        QObject::connect(item->menu()->menuAction(), &QAction::changed, [this] {
            const QString title = item->menu()->title();
            if (titles.empty() || titles.back() != title) titles.push_back(title);
        });
    }
    void TearDown() override {
        item.reset();
        search.reset();
        controller.reset();
    }

    std::vector<Article> makeArticles(int count) {
        graph::Context& main = *controller->mainContext();
        std::vector<Article> articles;
        for (int index = 0; index < count; ++index) {
            Article article = Article::insert(main);
            article.setTitle("article" + std::to_string(index) + " shared");
            articles.push_back(article);
        }
        EXPECT_TRUE(main.save().ok());
        return articles;
    }
    void reindexAndWait(std::vector<Article> articles) {
        item->reindex(std::move(articles), reindexEntry);
        EXPECT_FALSE(reindexEntry->isEnabled()) << "disabled while it runs";
        EXPECT_TRUE(test::waitUntil([&] { return reindexEntry->isEnabled(); }, 60000));
    }
    std::size_t matches(const std::string& text) {
        auto found = std::make_shared<std::atomic<std::size_t>>(0);
        auto done = std::make_shared<std::atomic<bool>>(false);
        search->search(text, [found](std::vector<graph::ObjectID> ids) { *found += ids.size(); }, [done] { *done = true; });
        EXPECT_TRUE(test::waitUntil([&] { return done->load(); }, 20000));
        return found->load();
    }
    static QString progress(int percent) { return QStringLiteral("Indexing... %1%").arg(percent); }

    test::TempDir dir;
    std::shared_ptr<DataController> controller;
    std::unique_ptr<SearchManager> search;
    std::unique_ptr<DebugMenuItem> item;
    QAction* reindexEntry = nullptr;
    std::vector<QString> titles;
};

}  // namespace

TEST(DebugMenu, EntriesUnderFixedTitles) {
    DebugMenuItem item(nullptr);
    EXPECT_EQ(item.menu()->title(), QStringLiteral("Debug"));
    QStringList shown;
    for (QAction* action : item.menu()->actions()) shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(shown, QStringList({"Reindex current articles", "-", "Remove All Nodes", "-", "Send Articles Info",
                                  "Sync Articles Info"}));
    for (QAction* action : item.menu()->actions()) EXPECT_TRUE(action->shortcut().isEmpty());
}

TEST(DebugMenu, PercentagesRoundHalvesUp) {
    struct Case {
        std::size_t index, count;
        int percent;
    };
    const Case cases[] = {{0, 3, 0}, {1, 3, 33}, {2, 3, 67}, {1, 200, 1}, {2, 200, 1}, {3, 200, 2}, {199, 200, 100}, {0, 1, 0}};
    for (const auto& item : cases) {
        EXPECT_EQ(DebugMenuItem::percentage(item.index, item.count), item.percent) << item.index << " of " << item.count;
    }
}

TEST_F(DebugMenuTest, ThreeArticlesShowThreeStepsThenTheTitle) {
    reindexAndWait(makeArticles(3));
    EXPECT_EQ(titles, (std::vector<QString>{progress(0), progress(33), progress(67), QStringLiteral("Debug")}));
    EXPECT_EQ(item->menu()->title(), QStringLiteral("Debug"));
    EXPECT_EQ(matches("shared"), 3u);
    EXPECT_EQ(matches("article1"), 1u);
}

TEST_F(DebugMenuTest, TwoHundredArticlesShowEachPercentageOnce) {
    reindexAndWait(makeArticles(200));
    std::vector<QString> expected;
    for (int percent = 0; percent <= 100; ++percent) expected.push_back(progress(percent));
    expected.push_back(QStringLiteral("Debug"));
    EXPECT_EQ(titles, expected);
    EXPECT_EQ(matches("shared"), 200u);
}

TEST_F(DebugMenuTest, AnEmptyListShowsNoProgress) {
    reindexAndWait({});
    EXPECT_TRUE(titles.empty());
    EXPECT_EQ(item->menu()->title(), QStringLiteral("Debug"));
}
