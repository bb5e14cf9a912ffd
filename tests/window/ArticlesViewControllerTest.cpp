#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QScrollBar>
#include <QToolButton>
#include <QSignalSpy>
#include <QTest>

#include "window/ArticlesListFixture.h"
#include "window/ArticlesManagementToolbar.h"
#include "window/ArticlesTableView.h"

using namespace tallowmere;
using namespace tallowmere::test;
using Type = ArticlesChangingInfo::Type;

// Catches the links the list hands to the desktop.
class LinkCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl>* seen = nullptr;
public Q_SLOTS:
    void open(const QUrl& url) { seen->append(url); }
};

namespace {

class ArticlesViewControllerTest : public ArticlesListTest {};

int selectedRow(ArticlesViewController& list) {
    auto rows = list.articlesTableView()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

TEST_F(ArticlesViewControllerTest, EmptyListShowsTheLabelCountsZeroAndTellsTheReaderNone) {
    list->view();
    list->reloadArticles();
    EXPECT_FALSE(list->noArticlesFoundTextField()->isHidden());
    EXPECT_EQ(list->noArticlesFoundTextField()->text(), QStringLiteral("No articles found"));
    EXPECT_EQ(list->articlesManagementToolbar()->articlesCount(), 0);
    EXPECT_EQ(list->articlesManagementToolbar()->countField()->text(), QStringLiteral("0 articles"));
    ASSERT_FALSE(reader.selections.empty());
    EXPECT_FALSE(reader.selections.back().has_value());
    EXPECT_EQ(selectedRow(*list), -1);
}

TEST_F(ArticlesViewControllerTest, ANewNodeShowsItsListFromTheTopWithTheFirstArticleSelectedAndRead) {
    Feed feed = makeFeed("alpha");
    Feed other = makeFeed("beta");
    auto articles = makeNumbered(feed, 30);
    makeArticles(other, {{"other", 1'800'000'000}});
    settle();
    list->view()->resize(400, 600);
    list->reloadArticles();
    list->articlesTableView()->scrollToBottom();
    reader.selections.clear();

    source->setFeedsInfo(ArticlesSourceFeedsInfo{std::vector<Feed>{feed}, std::nullopt});
    ASSERT_TRUE(waitUntil([&] { return !reader.selections.empty(); }));
    EXPECT_EQ(list->articlesModel()->rowCount(), 30);
    EXPECT_EQ(selectedRow(*list), 0);
    EXPECT_EQ(list->articlesTableView()->verticalScrollBar()->value(), 0);
    ASSERT_TRUE(reader.selections.back().has_value());
    EXPECT_EQ(reader.selections.back()->objectID(), articles[0].objectID());
    EXPECT_TRUE(list->noArticlesFoundTextField()->isHidden());
    EXPECT_TRUE(waitUntil([&] { return isRead(articles[0]); }));
    EXPECT_FALSE(isRead(articles[1]));
}

TEST_F(ArticlesViewControllerTest, ReportedChangesBecomeStepsByTheListsRules) {
    struct Report {
        std::optional<std::size_t> oldRow;
        graph::ResultsChange type;
        std::optional<std::size_t> newRow;
    };
    using C = graph::ResultsChange;
    struct Case {
        const char* name;
        std::vector<Report> reports;
        std::vector<std::pair<Type, std::set<std::size_t>>> steps;
    };
    const std::vector<Case> cases = {
        {"inserts merge, a delete follows", {{{}, C::insert, 0}, {{}, C::insert, 1}, {{}, C::insert, 2}, {5, C::remove, {}}},
         {{Type::insert, {0, 1, 2}}, {Type::remove, {5}}}},
        {"alternating kinds stay apart", {{{}, C::insert, 0}, {4, C::remove, {}}, {{}, C::insert, 3}},
         {{Type::insert, {0}}, {Type::remove, {4}}, {Type::insert, {3}}}},
        {"a move to the same row reloads it", {{3, C::move, 3}}, {{Type::update, {3}}}},
        {"updates merge", {{1, C::update, 1}, {7, C::update, 7}}, {{Type::update, {1, 7}}}},
        {"a move to another row is a step of its own", {{2, C::move, 6}, {4, C::move, 0}},
         {{Type::move, {2}}, {Type::move, {4}}}},
        {"reports without their row are dropped", {{{}, C::remove, {}}, {{}, C::update, {}}, {1, C::insert, {}}}, {}},
    };
    for (const Case& c : cases) {
        std::vector<ArticlesChangingInfo> infos;
        for (const Report& r : c.reports) ArticlesViewController::record(infos, r.oldRow, r.type, r.newRow, std::nullopt);
        ASSERT_EQ(infos.size(), c.steps.size()) << c.name;
        for (std::size_t i = 0; i < infos.size(); ++i) {
            EXPECT_EQ(infos[i].type, c.steps[i].first) << c.name;
            EXPECT_EQ(infos[i].indexes, c.steps[i].second) << c.name;
        }
    }
}

TEST_F(ArticlesViewControllerTest, ThreeInsertsAndADeleteFromOneSaveAreTwoStepsAndTheSelectionStays) {
    Feed feed = makeFeed("alpha");
    auto articles = makeNumbered(feed, 10);
    settle();
    list->view();
    list->reloadArticles();
    settle();  // the first row's marking read comes back as a batch
    list->selectArticle(articles[7]);
    settle();
    QAbstractItemModelTester tester(list->articlesModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(list->articlesModel(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(list->articlesModel(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy applied(list.get(), &ArticlesViewController::batchApplied);

    background().performAndWait([&] {
        background().deleteObject(articles[5].object());
        for (int i = 0; i < 3; ++i) {
            Article article = Article::insert(background());
            article.setTitle("new" + std::to_string(i));
            article.setDate(graph::Date{1'800'000'000.0 - i});
            article.setFeed(feed);
            article.setUnreadInFeed(feed);
        }
        ASSERT_TRUE(background().save().ok());
    });
    ASSERT_TRUE(waitUntil([&] { return applied.count() == 1; }));
    EXPECT_TRUE(applied.first().first().toBool());
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.first()[1].toInt(), 5);
    EXPECT_EQ(removed.first()[2].toInt(), 5);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.first()[1].toInt(), 0);
    EXPECT_EQ(inserted.first()[2].toInt(), 2);
    EXPECT_EQ(list->articlesModel()->articleIDs(), source->listedArticleIDs());
    EXPECT_EQ(titleAt(0), "new0");
    EXPECT_EQ(selectedRow(*list), 9) << "the selected article follows its row";
    EXPECT_EQ(list->articlesManagementToolbar()->articlesCount(), 12);
}

TEST_F(ArticlesViewControllerTest, AMoveToTheSameRowReloadsThatRow) {
    Feed feed = makeFeed("alpha");
    makeNumbered(feed, 6);
    settle();
    list->view();
    list->reloadArticles();
    settle();  // the first row's marking read comes back as a batch
    QSignalSpy changed(list->articlesModel(), &QAbstractItemModel::dataChanged);
    QSignalSpy moved(list->articlesModel(), &QAbstractItemModel::rowsMoved);
    QSignalSpy applied(list.get(), &ArticlesViewController::batchApplied);
    list->articlesSourceWillChangeArticles();
    list->articlesSourceDidChangeArticle(3, graph::ResultsChange::move, 3);
    list->articlesSourceDidChangeArticles();
    ASSERT_TRUE(waitUntil([&] { return applied.count() == 1; }));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first()[0].toModelIndex().row(), 3);
    EXPECT_EQ(changed.first()[1].toModelIndex().row(), 3);
    EXPECT_EQ(moved.count(), 0);
}

TEST_F(ArticlesViewControllerTest, AReSortMovesTheRowSoSelectingItMarksTheRightArticle) {
    Feed feed = makeFeed("alpha");
    auto articles = makeNumbered(feed, 8);
    settle();
    list->view();
    list->reloadArticles();
    settle();  // the first row's marking read comes back as a batch
    QAbstractItemModelTester tester(list->articlesModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy moved(list->articlesModel(), &QAbstractItemModel::rowsMoved);
    QSignalSpy applied(list.get(), &ArticlesViewController::batchApplied);
    background().performAndWait([&] {
        articles[6].setDate(graph::Date{1'900'000'000});
        ASSERT_TRUE(background().save().ok());
    });
    ASSERT_TRUE(waitUntil([&] { return applied.count() == 1; }));
    EXPECT_GE(moved.count(), 1);
    EXPECT_EQ(list->articlesModel()->articleIDs(), source->listedArticleIDs());
    EXPECT_EQ(titleAt(0), "a6");
    list->articlesTableView()->selectionModel()->select(list->articlesModel()->index(0, 0),
                                                         QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(list->selectedArticle().has_value());
    EXPECT_EQ(list->selectedArticle()->objectID(), articles[6].objectID());
    EXPECT_TRUE(waitUntil([&] { return isRead(articles[6]); }));
}

TEST_F(ArticlesViewControllerTest, ReselectingAReadArticleStillTellsTheReader) {
    Feed feed = makeFeed("alpha");
    auto articles = makeArticles(feed, {{"read", 100, false}, {"other", 50}});
    settle();
    list->view();
    list->reloadArticles();
    const std::size_t before = reader.selections.size();
    list->selectArticle(articles[1]);
    list->selectArticle(articles[0]);
    ASSERT_EQ(reader.selections.size(), before + 2);
    EXPECT_EQ(reader.selections.back()->objectID(), articles[0].objectID());
    EXPECT_TRUE(isRead(articles[0]));
}

TEST_F(ArticlesViewControllerTest, StarringTwiceStillUploadsTheStarredListEachTime) {
    Feed feed = makeFeed("alpha");
    auto articles = makeNumbered(feed, 2);
    settle();
    list->view();
    list->reloadArticles();
    list->markSelectedArticleAsStarred();
    list->markSelectedArticleAsStarred();
    ASSERT_TRUE(waitUntil([&] { return cloud->uploads == 2; }));
    EXPECT_EQ(cloud->flags, (std::vector<bool>{false, false})) << "a non-empty starred list";
    bool starred = false;
    background().performAndWait([&] {
        background().refresh(articles[0].object(), false);
        starred = articles[0].isStarred();
    });
    EXPECT_TRUE(starred);
}

TEST_F(ArticlesViewControllerTest, NoSelectionStarsNothingAndAnEmptyStarredListIsStillUploaded) {
    list->view();
    list->reloadArticles();
    list->markSelectedArticleAsStarred();
    settle();
    EXPECT_EQ(cloud->uploads, 0);
    list->articlesSourceDidUpdate({});
    ASSERT_TRUE(waitUntil([&] { return cloud->uploads == 1; }));
    EXPECT_EQ(cloud->flags, std::vector<bool>{true});
}

TEST_F(ArticlesViewControllerTest, MarkAllReadSavesThenUploadsAndTheListFollows) {
    Feed feed = makeFeed("alpha");
    auto articles = makeNumbered(feed, 4);
    settle();
    list->view();
    list->reloadArticles();
    list->articlesManagementToolbar()->markAsReadButton()->click();
    ASSERT_TRUE(waitUntil([&] { return cloud->uploads == 1; }));
    EXPECT_EQ(cloud->flags, std::vector<bool>{false});
    EXPECT_EQ(source->articlesCount(ArticlesSourceFilter::unread), 0u);
    settle();
    EXPECT_EQ(list->articlesModel()->articleIDs(), source->listedArticleIDs());
}

TEST_F(ArticlesViewControllerTest, SearchNarrowsTheListAndClearingRestoresIt) {
    Feed feed = makeFeed("alpha");
    auto articles = makeArticles(feed, {{"quantum leap", 300}, {"classical music", 200}, {"quantum foam", 100}});
    for (const auto& article : articles) search->indexArticle(article);
    settle();
    list->view();
    list->reloadArticles();
    ASSERT_EQ(list->articlesModel()->rowCount(), 3);

    struct Case {
        std::string text;
        int rows;
    };
    for (const Case& c : std::vector<Case>{{"quant", 2},
                                           {"\"quantum\" OR music NEAR(", 0},
                                           {"zzzz-nothing", 0},
                                           {"the", 0},
                                           {"", 3}}) {
        reader.selections.clear();
        list->searchTextDidChange(c.text);
        ASSERT_FALSE(reader.selections.empty());
        EXPECT_FALSE(reader.selections.front().has_value()) << c.text;
        settle();
        search->searchQueue().sync([] {});
        settle();
        EXPECT_EQ(list->articlesModel()->rowCount(), c.rows) << c.text;
        EXPECT_EQ(list->noArticlesFoundTextField()->isHidden(), c.rows > 0) << c.text;
        EXPECT_EQ(list->articlesModel()->articleIDs(), source->listedArticleIDs()) << c.text;
    }
    EXPECT_FALSE(source->articleIDs().has_value());
}

TEST_F(ArticlesViewControllerTest, OldestFirstReloadsOnlyUnderTheUnreadAndTodayFilters) {
    Feed feed = makeFeed("alpha");
    makeArticles(feed, {{"new", 300, true, true}, {"old", 100, true, true}});
    settle();
    list->view();
    source->setFeedsInfo(ArticlesSourceFeedsInfo{std::nullopt, ArticlesSourceFilter::starred});
    settle();
    ASSERT_EQ(list->articlesModel()->rowCount(), 2);
    ASSERT_EQ(titleAt(0), "new");
    auto resets = list->articlesModel()->stamp().resets;
    list->setSortUnreadAscending(true);
    EXPECT_TRUE(source->sortUnreadAscending());
    EXPECT_EQ(list->articlesModel()->stamp().resets, resets) << "no reload under starred";
    EXPECT_EQ(titleAt(0), "new");

    list->setFilter(ArticlesSourceFilter::unread);
    settle();
    EXPECT_EQ(titleAt(0), "old");
    resets = list->articlesModel()->stamp().resets;
    list->setSortUnreadAscending(false);
    EXPECT_EQ(list->articlesModel()->stamp().resets, resets + 1);
    EXPECT_EQ(list->articlesModel()->articleIDs(), source->listedArticleIDs());
}

TEST_F(ArticlesViewControllerTest, TypingOverTheListNeverMovesTheSelection) {
    Feed feed = makeFeed("alpha");
    makeArticles(feed, {{"apple", 300}, {"banana", 200}, {"cherry", 100}});
    settle();
    list->view();
    list->reloadArticles();
    QTest::keyClicks(list->articlesTableView(), QStringLiteral("ch"));
    EXPECT_EQ(selectedRow(*list), 0);
}

TEST_F(ArticlesViewControllerTest, LinksOpenOnlyWhenValidAndCopyToTheClipboard) {
    QList<QUrl> opened;
    auto handler = std::make_unique<LinkCatcher>();
    handler->seen = &opened;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), handler.get(), "open");
    list->openLink("https://example.org/a b");
    list->openLink("https://example.org/ok");
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl(QStringLiteral("https://example.org/ok")));
    EXPECT_TRUE(list->copyLink("https://example.org/copied"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("https://example.org/copied"));
}

}  // namespace

#include "ArticlesViewControllerTest.moc"
