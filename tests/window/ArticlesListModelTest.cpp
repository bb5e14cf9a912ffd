#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <random>

#include "window/ArticlesListFixture.h"

using namespace tallowmere;
using namespace tallowmere::test;

namespace {

std::atomic<int> modelTesterComplaints = 0;
QtMessageHandler previousHandler = nullptr;

void countComplaints(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (context.category && QByteArray(context.category).startsWith("qt.modeltest")) ++modelTesterComplaints;
    if (previousHandler) previousHandler(type, context, message);
}

class ArticlesListModelTest : public ArticlesListTest {
protected:
    // The stored articles as a fresh fetch lists them: newest first.
    std::vector<graph::ObjectID> freshFetch() {
        std::vector<graph::ObjectID> ids;
        auto& main = *controller->mainContext();
        main.performAndWait([&] {
            auto request = Article::fetchRequest();
            request.sortDescriptors = {{Article::Key::date, false, false}};
            auto results = main.fetch(request);
            if (results.ok()) ids = results->objectIDs();
        });
        return ids;
    }
};

TEST_F(ArticlesListModelTest, TwoHundredChangeSetsFromRealSavesKeepTheListEqualToAFreshFetch) {
    std::vector<Feed> feeds = {makeFeed("alpha"), makeFeed("beta"), makeFeed("gamma")};
    std::mt19937 random(20261210);
    std::uniform_real_distribution<double> anyDate(1'600'000'000, 1'700'000'000);
    std::vector<Seed> seeds;
    for (int i = 0; i < 40; ++i) seeds.push_back({"seed" + std::to_string(i), anyDate(random)});
    std::vector<Article> articles = makeArticles(feeds[0], seeds);
    settle();
    list->view();
    list->reloadArticles();

    previousHandler = qInstallMessageHandler(countComplaints);
    modelTesterComplaints = 0;
    QAbstractItemModelTester tester(list->articlesModel(), QAbstractItemModelTester::FailureReportingMode::Warning);
    int serial = 0, moves = 0, inserts = 0, removals = 0, updates = 0;
    QObject::connect(list->articlesModel(), &QAbstractItemModel::rowsMoved, [&] { ++moves; });
    QObject::connect(list->articlesModel(), &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    QObject::connect(list->articlesModel(), &QAbstractItemModel::rowsRemoved, [&] { ++removals; });
    QObject::connect(list->articlesModel(), &QAbstractItemModel::dataChanged, [&] { ++updates; });
    int resyncs = 0;
    QObject::connect(list.get(), &ArticlesViewController::batchApplied, [&](bool fitted) { resyncs += fitted ? 0 : 1; });

    for (int set = 0; set < 200; ++set) {
        background().performAndWait([&] {
            const int operations = 1 + static_cast<int>(random() % 6);
            for (int op = 0; op < operations; ++op) {
                const auto kind = random() % 5;
                if (kind == 0 || articles.size() < 5) {
                    Article article = Article::insert(background());
                    article.setTitle("new" + std::to_string(serial++));
                    article.setDate(graph::Date{anyDate(random)});
                    const Feed& feed = feeds[random() % feeds.size()];
                    article.setFeed(feed);
                    article.setUnreadInFeed(feed);
                    articles.push_back(article);
                    continue;
                }
                const std::size_t pick = random() % articles.size();
                Article article = articles[pick];
                if (kind == 1) {
                    background().deleteObject(article.object());
                    articles.erase(articles.begin() + static_cast<std::ptrdiff_t>(pick));
                } else if (kind == 2) {
                    article.setDate(graph::Date{anyDate(random)});
                } else if (kind == 3) {
                    article.setUnreadInFeed(article.isRead() ? article.feed() : std::nullopt);
                } else {
                    article.setStarredInFeed(article.isStarred() ? std::nullopt : article.feed());
                }
            }
            ASSERT_TRUE(background().save().ok());
        });
        settle();
        ASSERT_EQ(list->articlesModel()->articleIDs(), source->listedArticleIDs()) << "after change set " << set;
        ASSERT_EQ(list->articlesModel()->articleIDs(), freshFetch()) << "after change set " << set;
        ASSERT_EQ(list->articlesModel()->rowCount(), static_cast<int>(articles.size()));
    }
    qInstallMessageHandler(previousHandler);
    EXPECT_EQ(modelTesterComplaints, 0);
    EXPECT_EQ(resyncs, 0) << "every batch fitted as row steps";
    EXPECT_GT(moves, 0);
    EXPECT_GT(inserts, 0);
    EXPECT_GT(removals, 0);
    EXPECT_GT(updates, 0);
}

TEST_F(ArticlesListModelTest, ABatchThatDoesNotFitIsRefusedAndTheListResynced) {
    Feed feed = makeFeed("alpha");
    makeNumbered(feed, 5);
    settle();
    ArticlesListModel model(*source);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto before = model.articleIDs();
    // A removal of a row the list does not have, and a count that cannot add up.
    EXPECT_FALSE(model.apply({ArticlesChangingInfo{ArticlesChangingInfo::Type::remove, {9}, {}, {}, {}}}, before));
    EXPECT_FALSE(model.apply({ArticlesChangingInfo{ArticlesChangingInfo::Type::remove, {1}, {}, {}, {}}}, before));
    EXPECT_EQ(model.articleIDs(), before);
    // A resync from the controller's side sees the same rows.
    list->view();
    list->reloadArticles();
    settle();
    QSignalSpy applied(list.get(), &ArticlesViewController::batchApplied);
    list->articlesSourceWillChangeArticles();
    list->articlesSourceDidChangeArticle(7, graph::ResultsChange::remove, std::nullopt);
    list->articlesSourceDidChangeArticles();
    ASSERT_TRUE(waitUntil([&] { return applied.count() == 1; }));
    EXPECT_FALSE(applied.first().first().toBool());
    EXPECT_EQ(list->articlesModel()->articleIDs(), source->listedArticleIDs());
    EXPECT_EQ(list->articlesModel()->rowCount(), 5);
}

}  // namespace
