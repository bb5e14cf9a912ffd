#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "ArticlesRecordingDelegate.h"
#include "ArticlesTestSupport.h"
#include "platform/dispatch/Queue.h"
#include "sources/NodesSource.h"
#include "store/Tag.h"

using namespace tallowmere;
using graph::Date;
using test::daysAgo;

namespace {

class ArticlesMarkingTest : public test::ArticlesStoreTest {
protected:
    void SetUp() override {
        test::ArticlesStoreTest::SetUp();
        delegate = std::make_shared<test::ArticlesRecordingDelegate>();
        source->setDelegate(delegate);
    }
    // Runs an operation with a counting completion and waits until it ran.
    template <typename Operation>
    void runCounting(Operation&& operation) {
        std::atomic<int> calls = 0;
        operation([&] { ++calls; });
        ASSERT_TRUE(runMainUntil([&] { return calls.load() > 0; })) << "the completion never ran";
        settleMain();
        EXPECT_EQ(calls.load(), 1);
    }
    struct State {
        bool read;
        bool starred;
        bool operator==(const State&) const = default;
    };
    std::map<std::string, State> states() {
        std::map<std::string, State> result;
        background().performAndWait([&] {
            for (const Article& article : makeHandles<Article>(background().fetch(Article::fetchRequest())->all())) {
                result[*article.link()] = State{article.isRead(), article.isStarred()};
            }
        });
        return result;
    }
    std::vector<std::string> unreadLinks() {
        std::vector<std::string> links;
        for (const auto& [link, state] : states()) {
            if (!state.read) links.push_back(link);
        }
        return links;
    }

    std::shared_ptr<test::ArticlesRecordingDelegate> delegate;
};

using Links = std::vector<std::string>;

TEST_F(ArticlesMarkingTest, ReadKeepsAnEarlierReadDateAndUnreadClearsIt) {
    Feed feed = makeFeed("news");
    const Date earlier = daysAgo(2);
    auto articles = makeArticles(feed, {{"unread", daysAgo(3)}, {"read", daysAgo(3), Date::now(), false, false, earlier}});
    runCounting([&](auto done) { source->setRead(articles, true, done); });
    background().performAndWait([&] {
        EXPECT_TRUE(articles[0].isRead());
        ASSERT_TRUE(articles[0].readDate());
        EXPECT_GT(articles[0].readDate()->seconds, earlier.seconds);
        EXPECT_EQ(articles[1].readDate(), earlier);
    });
    runCounting([&](auto done) { source->setRead(articles[1], false, done); });
    background().performAndWait([&] {
        EXPECT_FALSE(articles[1].isRead());
        EXPECT_FALSE(articles[1].readDate());
        EXPECT_EQ(articles[1].unreadInFeed(), feed);
    });
    // Read changes reach the delegate only through the list.
    EXPECT_FALSE(delegate->contains("updated 1"));
    // Nothing to mark still completes.
    runCounting([&](auto done) { source->setRead(std::vector<Article>{}, true, done); });
}

TEST_F(ArticlesMarkingTest, StarringIsSynchronousAndTellsTheDelegate) {
    Feed feed = makeFeed("news");
    auto articles = makeArticles(feed, {{"one", daysAgo(1)}, {"two", daysAgo(1)}});
    int calls = 0;
    source->setStarred(articles, true, [&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"updated 2"}));
    EXPECT_EQ(states()["one"], (State{false, true}));
    EXPECT_EQ(source->starredArticleHashes().size(), 2u);
    source->setStarred(articles[0], false, [&] { ++calls; });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(states()["one"], (State{false, false}));
    source->setStarred(std::vector<Article>{}, true, [&] { ++calls; });
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"updated 2", "updated 1"}));
}

TEST_F(ArticlesMarkingTest, MarkAllAsReadFollowsTheSelection) {
    auto folder = [&] {
        std::optional<Folder> made;
        background().performAndWait([&] {
            made = Folder::insert(background());
            made->setName("folder");
            made->setSortName("folder");
            ASSERT_TRUE(background().save().ok());
        });
        return *made;
    }();
    Feed a = makeFeed("a", std::nullopt, folder);
    Feed b = makeFeed("b", std::nullopt, folder);
    Feed c = makeFeed("c");
    const Links everything{"a-plain", "a-starred", "b-plain", "b-starred", "c-plain", "c-starred"};
    auto reset = [&] {
        background().performAndWait([&] {
            for (const Article& article : makeHandles<Article>(background().fetch(Article::fetchRequest())->all())) {
                article.setUnreadInFeed(article.feed());
                article.setReadDate(std::nullopt);
            }
            ASSERT_TRUE(background().save().ok());
        });
        settleMain();
    };
    for (const Feed& feed : {a, b, c}) {
        const std::string name = *[&] {
            std::optional<std::string> n;
            background().performAndWait([&] { n = feed.name(); });
            return n;
        }();
        makeArticles(feed, {{name + "-plain", daysAgo(40)}, {name + "-starred", daysAgo(1), Date::now(), true, true}});
    }
    settleMain();

    struct Case {
        const char* what;
        std::function<void(ArticlesSource::Completion)> run;
        Links unreadAfter;
    };
    const std::vector<Case> cases = {
        {"starred filter of one feed: its starred unread only",
         [&](auto done) {
             source->setFeedsInfo(ArticlesSourceFeedsInfo(std::vector<Feed>{mainHandle(a)}, ArticlesSourceFilter::starred));
             source->markAllAsRead(done);
         },
         {"a-plain", "b-plain", "b-starred", "c-plain", "c-starred"}},
        {"today filter: nothing of today",
         [&](auto done) {
             source->setFeedsInfo(ArticlesSourceFeedsInfo(std::nullopt, ArticlesSourceFilter::today));
             source->markAllAsRead(done);
         },
         everything},
        {"unread filter of two feeds",
         [&](auto done) {
             source->setFeedsInfo(
                 ArticlesSourceFeedsInfo(std::vector<Feed>{mainHandle(a), mainHandle(c)}, ArticlesSourceFilter::unread));
             source->markAllAsRead(done);
         },
         {"b-plain", "b-starred"}},
        {"an empty feed set means all feeds, as the list shows",
         [&](auto done) {
             source->setFeedsInfo(ArticlesSourceFeedsInfo(std::vector<Feed>{}, std::nullopt));
             source->markAllAsRead(done);
         },
         {}},
        {"search results",
         [&](auto done) {
             source->setFeedsInfo(ArticlesSourceFeedsInfo(std::nullopt, std::nullopt));
             std::vector<graph::ObjectID> ids;
             main().performAndWait([&] { ids = {source->article(0)->objectID()}; });
             source->setArticleIDs(ids);
             source->reload(true);
             source->markAllAsRead(done);
             source->setArticleIDs(std::nullopt);
             source->reload(true);
         },
         {"a-plain", "a-starred", "b-plain", "b-starred", "c-plain"}},
        {"a folder node", [&](auto done) { source->markAllAsRead(folder, done); }, {"c-plain", "c-starred"}},
        {"a feed node", [&](auto done) { source->markAllAsRead(mainHandle(Node(b.object())), done); },
         {"a-plain", "a-starred", "c-plain", "c-starred"}},
        {"all feeds", [&](auto done) { source->markAllFeedsAsRead(done); }, {}},
    };
    // Marking writes the store at once, or object by object while a context
    // has changes of its own pending; both ways give the same result.
    for (const bool pending : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (pending ? " (changes pending)" : ""));
            reset();
            if (pending) {
                for (graph::Context* context : {&main(), &background()})
                    context->performAndWait([&] { Tag::insert(*context).setName("pending"); });
            }
            runCounting(c.run);
            EXPECT_EQ(unreadLinks(), c.unreadAfter);
            for (graph::Context* context : {&main(), &background()}) context->performAndWait([&] { context->rollback(); });
        }
    }
}

TEST_F(ArticlesMarkingTest, NothingToMarkStillCompletesOnce) {
    Feed feed = makeFeed("news");
    makeArticle(feed, "one", daysAgo(1));
    // The node source has not loaded its feeds yet.
    ArticlesSource unloaded(controller, [] { return std::optional<std::vector<Feed>>(); });
    runCounting([&](auto done) { unloaded.markAllFeedsAsRead(done); });
    runCounting([&](auto done) { unloaded.markAllAsRead(done); });
    // A folder without feeds, and a feed without unread articles.
    std::optional<Folder> empty;
    background().performAndWait([&] {
        empty = Folder::insert(background());
        ASSERT_TRUE(background().save().ok());
    });
    runCounting([&](auto done) { source->markAllAsRead(*empty, done); });
    runCounting([&](auto done) { source->markAllAsRead(feed, done); });
    runCounting([&](auto done) { source->markAllAsRead(feed, done); });
    EXPECT_TRUE(unreadLinks().empty());
}

TEST_F(ArticlesMarkingTest, HashListsLeaveOutZero) {
    Feed feed = makeFeed("news");
    auto articles = makeArticles(feed, {{"unread", daysAgo(1)},
                                        {"read-starred", daysAgo(1), Date::now(), false, true},
                                        {"zero", daysAgo(1), Date::now(), true, true}});
    background().performAndWait([&] {
        articles[2].setTallowmereHash(0);
        ASSERT_TRUE(background().save().ok());
    });
    EXPECT_EQ(source->unreadArticleHashes(), (std::vector<std::int64_t>{test::hashOf("unread")}));
    EXPECT_EQ(source->starredArticleHashes(), (std::vector<std::int64_t>{test::hashOf("read-starred")}));
}

TEST_F(ArticlesMarkingTest, SharedSourceMarksTheFeedsOfTheSharedNodeSource) {
    Feed feed = makeFeed("news");
    makeArticles(feed, {{"one", daysAgo(1)}, {"two", daysAgo(2)}});
    DataController::replaceShared(controller);
    NodesSource::replaceShared(NodesSource::make(controller));
    EXPECT_EQ(ArticlesSource::shared().articlesCount(ArticlesSourceFilter::unread), 2u);
    runCounting([&](auto done) { ArticlesSource::shared().markAllFeedsAsRead(done); });
    EXPECT_TRUE(unreadLinks().empty());
}

// The cloud record was modified a day ago; each row is one article before and after.
TEST_F(ArticlesMarkingTest, SyncPassesBoundedByTheRecordDate) {
    const Date recordDate = daysAgo(1);
    struct Row {
        const char* link;
        Date published;
        bool unread;
        std::optional<Date> readDate;
        bool starred;
        bool unreadInCloud;
        bool starredInCloud;
        State expected;
    };
    const std::vector<Row> rows = {
        // Read pass: unread here, not in the cloud list, published before the record.
        {"unread-here-read-there", daysAgo(3), true, std::nullopt, false, false, false, {true, false}},
        {"published-after-record", daysAgo(0.5), true, std::nullopt, false, false, false, {false, false}},
        {"unread-both", daysAgo(3), true, std::nullopt, false, true, false, {false, false}},
        // Unread pass: read here, unread in the cloud, unless read here after the record.
        {"read-before-record", daysAgo(3), false, daysAgo(2), false, true, false, {false, false}},
        {"read-without-date", daysAgo(3), false, std::nullopt, false, true, false, {false, false}},
        {"read-after-record", daysAgo(3), false, daysAgo(0.5), false, true, false, {true, false}},
        {"read-both", daysAgo(3), false, daysAgo(2), false, false, false, {true, false}},
        // Star and unstar passes have no bound.
        {"star-there", daysAgo(0.5), false, daysAgo(2), false, false, true, {true, true}},
        {"unstar-there", daysAgo(3), false, daysAgo(2), true, false, false, {true, false}},
        {"starred-both", daysAgo(0.5), false, daysAgo(2), true, false, true, {true, true}},
    };
    Feed feed = makeFeed("news");
    std::vector<test::ArticlesStoreTest::ArticleSeed> seeds;
    std::vector<std::int64_t> unreadHashes, starredHashes;
    for (const Row& row : rows) {
        seeds.push_back({row.link, row.published, Date::now(), row.unread, row.starred, row.readDate});
        if (row.unreadInCloud) unreadHashes.push_back(test::hashOf(row.link));
        if (row.starredInCloud) starredHashes.push_back(test::hashOf(row.link));
    }
    makeArticles(feed, seeds);

    std::atomic<int> calls = 0;
    std::atomic<bool> onUpdateQueue = false;
    source->applySyncInfo(unreadHashes, starredHashes, recordDate, [&] {
        onUpdateQueue = source->articlesUpdateQueue().isCurrent();
        ++calls;
    });
    ASSERT_TRUE(runMainUntil([&] { return calls.load() > 0; }));
    EXPECT_TRUE(onUpdateQueue.load());
    auto after = states();
    for (const Row& row : rows) EXPECT_EQ(after[row.link], row.expected) << row.link;
    EXPECT_TRUE(delegate->contains("updated 1"));

    // Empty cloud lists: every unread article published before the record is
    // read, every starred one unstarred.
    source->applySyncInfo(std::vector<std::int64_t>{}, std::vector<std::int64_t>{}, recordDate, [&] { ++calls; });
    ASSERT_TRUE(runMainUntil([&] { return calls.load() > 1; }));
    after = states();
    for (const auto& [link, state] : after) {
        EXPECT_FALSE(state.starred) << link;
        EXPECT_EQ(state.read, link != "published-after-record")
            << link;
    }
    settleMain();
    EXPECT_EQ(calls.load(), 2);
}

}  // namespace
