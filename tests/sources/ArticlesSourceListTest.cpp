#include <gtest/gtest.h>

#include "ArticlesRecordingDelegate.h"
#include "ArticlesTestSupport.h"

using namespace tallowmere;
using test::daysAgo;
using graph::Date;

namespace {

// Two feeds whose sort names order by number ("feed 2" before "feed 10"),
// with read, unread, starred and today's articles.
class ArticlesSourceListTest : public test::ArticlesStoreTest {
protected:
    void SetUp() override {
        test::ArticlesStoreTest::SetUp();
        feed10 = makeFeed("feed 10");
        feed2 = makeFeed("feed 2");
        const Date today = startOfTodayPlus(60);
        makeArticles(*feed10, {{"a10-old-unread", daysAgo(5)},
                               {"a10-read", daysAgo(4), Date::now(), false},
                               {"a10-today-unread", today},
                               {"a10-starred-read", daysAgo(3), Date::now(), false, true}});
        makeArticles(*feed2, {{"a2-old-unread", daysAgo(6)},
                              {"a2-today-read", Date{today.seconds + 1}, Date::now(), false},
                              {"a2-starred-unread", daysAgo(2), Date::now(), true, true}});
        settleMain();
        delegate = std::make_shared<test::ArticlesRecordingDelegate>();
        source->setDelegate(delegate);
    }
    // Today's midnight plus some seconds (an article of "today" that is not in the future).
    static Date startOfTodayPlus(double seconds) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        local.tm_hour = local.tm_min = local.tm_sec = 0;
        local.tm_isdst = -1;
        return Date{static_cast<double>(std::mktime(&local)) + std::min(seconds, 0.5 * (now - std::mktime(&local)))};
    }
    void select(std::optional<std::vector<Feed>> feeds, std::optional<ArticlesSourceFilter> filter) {
        source->setFeedsInfo(ArticlesSourceFeedsInfo(std::move(feeds), filter));
    }
    std::vector<Feed> mainFeeds(std::initializer_list<Feed> feeds) {
        std::vector<Feed> result;
        for (const Feed& feed : feeds) result.push_back(mainHandle(feed));
        return result;
    }

    std::optional<Feed> feed10, feed2;
    std::shared_ptr<test::ArticlesRecordingDelegate> delegate;
};

using Links = std::vector<std::string>;

TEST_F(ArticlesSourceListTest, FiltersOrdersAndGrouping) {
    struct Case {
        const char* what;
        std::optional<ArticlesSourceFilter> filter;
        bool ascending;
        bool grouped;
        Links expected;
    };
    const std::vector<Case> cases = {
        {"all, newest first", std::nullopt, false, false,
         {"a2-today-read", "a10-today-unread", "a2-starred-unread", "a10-starred-read", "a10-read", "a10-old-unread",
          "a2-old-unread"}},
        {"all stay newest first with the setting on", std::nullopt, true, false,
         {"a2-today-read", "a10-today-unread", "a2-starred-unread", "a10-starred-read", "a10-read", "a10-old-unread",
          "a2-old-unread"}},
        {"unread", ArticlesSourceFilter::unread, false, false,
         {"a10-today-unread", "a2-starred-unread", "a10-old-unread", "a2-old-unread"}},
        {"unread, oldest first", ArticlesSourceFilter::unread, true, false,
         {"a2-old-unread", "a10-old-unread", "a2-starred-unread", "a10-today-unread"}},
        {"today only unread", ArticlesSourceFilter::today, true, false, {"a10-today-unread"}},
        {"starred stays newest first", ArticlesSourceFilter::starred, true, false,
         {"a2-starred-unread", "a10-starred-read"}},
        {"grouped: feed 2 before feed 10", std::nullopt, false, true,
         {"a2-today-read", "a2-starred-unread", "a2-old-unread", "a10-today-unread", "a10-starred-read", "a10-read",
          "a10-old-unread"}},
        {"grouped, unread oldest first inside each feed", ArticlesSourceFilter::unread, true, true,
         {"a2-old-unread", "a2-starred-unread", "a10-old-unread", "a10-today-unread"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        source->setSortUnreadAscending(c.ascending);
        source->setGroupByFeed(c.grouped);
        select(std::nullopt, c.filter);
        EXPECT_EQ(listedLinks(), c.expected);
        EXPECT_EQ(source->articlesCount(c.filter), c.expected.size());
    }
}

TEST_F(ArticlesSourceListTest, FeedSetsAndSearchResultsNarrowTheList) {
    select(mainFeeds({*feed2}), ArticlesSourceFilter::unread);
    EXPECT_EQ(listedLinks(), (Links{"a2-starred-unread", "a2-old-unread"}));
    // A present but empty feed set shows all feeds.
    select(std::vector<Feed>{}, ArticlesSourceFilter::starred);
    EXPECT_EQ(listedLinks(), (Links{"a2-starred-unread", "a10-starred-read"}));
    select(mainFeeds({*feed2, *feed10}), std::nullopt);
    EXPECT_EQ(source->numberOfArticles(), 7u);

    std::vector<graph::ObjectID> found;
    main().performAndWait([&] { found = {source->article(0)->objectID(), source->article(6)->objectID()}; });
    source->setArticleIDs(found);
    source->setResultsControllerNeedsUpdate(true);
    source->updateResultsController();
    EXPECT_EQ(listedLinks(), (Links{"a2-today-read", "a2-old-unread"}));
    source->setArticleIDs(std::vector<graph::ObjectID>{});
    source->reload(false);  // nothing pending: the list stays
    EXPECT_EQ(source->numberOfArticles(), 2u);
    source->reload(true);
    EXPECT_EQ(source->numberOfArticles(), 0u);
    // Search and ordering rebuilds are not reported as reloads.
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"reload", "reload", "reload"}));
}

TEST_F(ArticlesSourceListTest, EqualSelectionNeitherRebuildsNorTellsAndReadArticlesStayUntilRebuilt) {
    select(mainFeeds({*feed10, *feed2}), ArticlesSourceFilter::unread);
    ASSERT_EQ(source->numberOfArticles(), 4u);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"reload"}));

    std::optional<Article> top;
    main().performAndWait([&] { top = source->article(0); });
    bool done = false;
    source->setRead(*top, true, [&] { done = true; });
    ASSERT_TRUE(runMainUntil([&] { return done; }));
    main().performAndWait([&] { EXPECT_TRUE(top->isRead()); });
    // Read after the list was built: still listed, its row updated.
    EXPECT_EQ(source->numberOfArticles(), 4u);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"reload", "will", "update 0/0", "did"}));
    delegate->clear();

    // The same feeds in another order are the same selection.
    select(mainFeeds({*feed2, *feed10}), ArticlesSourceFilter::unread);
    EXPECT_EQ(source->numberOfArticles(), 4u);
    EXPECT_TRUE(delegate->events().empty());

    select(mainFeeds({*feed2, *feed10}), ArticlesSourceFilter::today);
    select(mainFeeds({*feed2, *feed10}), ArticlesSourceFilter::unread);
    EXPECT_EQ(source->numberOfArticles(), 3u);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"reload", "reload"}));
}

TEST_F(ArticlesSourceListTest, FirstSelectionOfAllKeepsTheListBuiltAtConstruction) {
    const auto built = source->listGeneration();
    select(std::nullopt, std::nullopt);
    EXPECT_EQ(source->listGeneration(), built);
    EXPECT_EQ(source->numberOfArticles(), 7u);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"reload"}));
    // The kept list still follows the store.
    makeArticles(*feed2, {{"a2-new", daysAgo(1)}});
    ASSERT_TRUE(runMainUntil([&] { return source->numberOfArticles() == 8u; }));

    // Coming back to all from a feed reads the store again.
    select(mainFeeds({*feed2}), std::nullopt);
    select(std::vector<Feed>{}, std::nullopt);
    EXPECT_GT(source->listGeneration(), built + 1);
    EXPECT_EQ(source->numberOfArticles(), 8u);
}

TEST_F(ArticlesSourceListTest, RowsNeighboursAndLookups) {
    select(mainFeeds({*feed2}), std::nullopt);
    main().performAndWait([&] {
        auto first = *source->article(0);
        auto last = *source->article(2);
        EXPECT_FALSE(source->article(3));
        EXPECT_EQ(source->row(last), 2u);
        auto [before, beforeRow] = source->previousArticle(first);
        EXPECT_FALSE(before);
        EXPECT_EQ(beforeRow, 0u);
        auto [after, afterRow] = source->nextArticle(last);
        EXPECT_FALSE(after);
        EXPECT_EQ(afterRow, 0u);
        auto [next, nextRow] = source->nextArticle(first);
        EXPECT_EQ(nextRow, 1u);
        EXPECT_EQ(next->link(), "a2-starred-unread");
        auto [previous, previousRow] = source->previousArticle(last);
        EXPECT_EQ(previousRow, 1u);
        EXPECT_EQ(*previous, *next);
    });
    // An article of another feed is not in the list.
    Article other = makeArticle(*feed10, "https://elsewhere.example/x", daysAgo(1));
    settleMain();
    main().performAndWait([&] { EXPECT_FALSE(source->row(onMain(other))); });

    auto found = source->article("A2-STARRED", "HTTPS://FEED 2");
    ASSERT_TRUE(found);
    background().performAndWait([&] { EXPECT_EQ(found->link(), "a2-starred-unread"); });
    EXPECT_FALSE(source->article("a2-starred", "https://feed 10"));
}

TEST_F(ArticlesSourceListTest, ChangeSequences) {
    select(mainFeeds({*feed2}), std::nullopt);
    ASSERT_EQ(listedLinks(), (Links{"a2-today-read", "a2-starred-unread", "a2-old-unread"}));
    delegate->clear();

    // A background save inserts a row.
    makeArticle(*feed2, "a2-new", daysAgo(10));
    ASSERT_TRUE(runMainUntil([&] { return delegate->contains("did"); }));
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"will", "insert -/3", "did"}));
    delegate->clear();

    // A deletion on the main context.
    main().performAndWait([&] {
        main().deleteObject(source->article(0)->object());
        ASSERT_TRUE(main().save().ok());
    });
    ASSERT_TRUE(runMainUntil([&] { return delegate->contains("did"); }));
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"will", "delete 0/-", "did"}));
    delegate->clear();

    // A new date re-sorts a row.
    main().performAndWait([&] {
        source->article(2)->setDate(Date::now());
        ASSERT_TRUE(main().save().ok());
    });
    ASSERT_TRUE(runMainUntil([&] { return delegate->contains("did"); }));
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"will", "move 2/0", "did"}));
    EXPECT_EQ(listedLinks(), (Links{"a2-new", "a2-starred-unread", "a2-old-unread"}));
    delegate->clear();

    // Unstarring changes the row in place (reported during the save) and then
    // tells the delegate.
    std::optional<Article> row1;
    main().performAndWait([&] { row1 = source->article(1); });
    int completions = 0;
    source->setStarred(*row1, false, [&] { ++completions; });
    EXPECT_EQ(completions, 1);
    ASSERT_TRUE(runMainUntil([&] { return delegate->contains("did"); }));
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"will", "update 1/1", "did", "updated 1"}));

    // Without a delegate nothing is reported and nothing breaks.
    delegate.reset();
    makeArticle(*feed2, "a2-unseen", daysAgo(1));
    settleMain();
    EXPECT_EQ(source->numberOfArticles(), 4u);
}

}  // namespace
