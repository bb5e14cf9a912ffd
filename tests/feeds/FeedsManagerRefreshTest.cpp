#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "cloud/CloudArticle.h"
#include "feeds/FeedsManagerFixture.h"

namespace tallowmere::test {
namespace {

std::set<std::string> asSet(const std::vector<std::string>& values) { return {values.begin(), values.end()}; }

TEST_F(FeedsManagerTest, ASecondRefreshIsConditionalAndNotModifiedIsNoError) {
    ServedFeed feed = servedFeed("Quiet", servedItems("q", 3));
    feed.eTag = "\"v1\"";
    server->setFeed("quiet.xml", feed);
    const std::string url = server->feedURL("quiet.xml");
    ASSERT_EQ(addAndWait(url), std::nullopt);
    const std::optional<graph::Date> added = lastUpdate(url);

    auto first = refreshAllAndWait();
    EXPECT_FALSE(first->error);
    auto second = refreshAllAndWait();
    EXPECT_EQ(second->calls.load(), 1);
    EXPECT_FALSE(second->error) << second->error->description();

    std::vector<SeenRequest> requests = server->requests("/feeds/quiet.xml");
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].ifNoneMatch, "");
    EXPECT_EQ(requests[2].ifNoneMatch, "\"v1\"");
    EXPECT_EQ(requests[2].ifModifiedSince, FeedServer::lastModified);
    EXPECT_EQ(articleLinks(url).size(), 3u);
    EXPECT_EQ(lastUpdate(url), added);
    auto validators = inBackground<std::pair<std::optional<std::string>, std::optional<std::string>>>([&] {
        std::optional<Feed> stored = storedFeed(url);
        return std::make_pair(stored->httpETag(), stored->httpLastModified());
    });
    EXPECT_EQ(validators.first, "\"v1\"");
    EXPECT_EQ(validators.second, FeedServer::lastModified);
}

TEST_F(FeedsManagerTest, AChangedFeedGainsOnlyItsNewItems) {
    server->setFeed("news.xml", servedFeed("News", servedItems("old", 3, std::chrono::hours(2))));
    const std::string url = server->feedURL("news.xml");
    ASSERT_EQ(addAndWait(url), std::nullopt);

    server->update("news.xml", [](ServedFeed& feed) {
        // Two newer items at the top; the old ones stay in the document.
        feed.items.insert(feed.items.begin(), {servedItem("fresh0", std::chrono::minutes(10)),
                                               servedItem("fresh1", std::chrono::minutes(30))});
        feed.items[0].text = "Brand fresh announcement";
    });
    auto outcome = refreshAllAndWait();
    EXPECT_FALSE(outcome->error);
    EXPECT_EQ(asSet(articleLinks(url)),
              (std::set<std::string>{server->url("/articles/fresh0"), server->url("/articles/fresh1"),
                                     server->url("/articles/old0"), server->url("/articles/old1"),
                                     server->url("/articles/old2")}));
    ASSERT_TRUE(lastUpdate(url));
    EXPECT_NEAR(lastUpdate(url)->seconds, graph::Date::now().seconds - 600, 5);

    // Refreshing again stores nothing twice.
    refreshAllAndWait();
    EXPECT_EQ(articleLinks(url).size(), 5u);
    waitForArticleQueue();
    EXPECT_EQ(searchIDs("announcement").size(), 1u);
}

TEST_F(FeedsManagerTest, AFutureDatedItemDoesNotHideTheNextItems) {
    server->setFeed("clock.xml", servedFeed("Clock", servedItems("c", 2)));
    const std::string url = server->feedURL("clock.xml");
    ASSERT_EQ(addAndWait(url), std::nullopt);

    server->update("clock.xml", [](ServedFeed& feed) {
        feed.items.insert(feed.items.begin(), servedItem("future", -std::chrono::hours(24 * 10)));
    });
    refreshAllAndWait();
    EXPECT_EQ(articleLinks(url).size(), 3u);
    ASSERT_TRUE(lastUpdate(url));
    EXPECT_LE(lastUpdate(url)->seconds, graph::Date::now().seconds);

    // A later item, dated after that refresh but long before the future one.
    server->update("clock.xml", [](ServedFeed& feed) {
        feed.items.insert(feed.items.begin(), servedItem("next", -std::chrono::seconds(5)));
    });
    refreshAllAndWait();
    EXPECT_EQ(articleLinks(url).size(), 4u);
    EXPECT_TRUE(asSet(articleLinks(url)).contains(server->url("/articles/next")));
}

TEST_F(FeedsManagerTest, AFailingFeedDoesNotStopTheOthers) {
    std::vector<std::string> names = {"a-fails.xml", "b.xml", "c.xml", "d.xml"};
    for (const std::string& name : names) {
        server->setFeed(name, servedFeed(name, servedItems(name + "-", 1, std::chrono::hours(3))));
        ASSERT_EQ(addAndWait(server->feedURL(name)), std::nullopt);
    }
    server->update("a-fails.xml", [](ServedFeed& feed) { feed.status = 500; });
    for (const std::string& name : names) {
        server->update(name, [&](ServedFeed& feed) {
            feed.items.insert(feed.items.begin(), servedItem(name + "-new", std::chrono::minutes(1)));
        });
    }
    auto outcome = refreshAllAndWait();
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->statusCode(), 500);
    for (const std::string& name : names) {
        EXPECT_EQ(server->requests("/feeds/" + name).size(), 2u) << name;
        EXPECT_EQ(articleLinks(server->feedURL(name)).size(), name == "a-fails.xml" ? 1u : 2u) << name;
    }
}

TEST_F(FeedsManagerTest, ATricklingFeedEndsAtItsDeadlineAndTheOthersAreStored) {
    constexpr auto deadline = 2s;
    useDeadlines(WebServiceDeadlines{deadline, deadline});
    std::vector<std::string> names = {"trickle.xml"};
    for (int index = 0; index < 20; ++index) names.push_back("healthy" + std::to_string(index) + ".xml");
    for (const std::string& name : names) {
        server->setFeed(name, servedFeed(name, servedItems(name + "-", 1, std::chrono::hours(3))));
        ASSERT_EQ(addAndWait(server->feedURL(name)), std::nullopt);
    }
    for (const std::string& name : names) {
        server->update(name, [&](ServedFeed& feed) {
            feed.items.insert(feed.items.begin(), servedItem(name + "-new", std::chrono::minutes(1)));
        });
    }
    server->update("trickle.xml", [](ServedFeed& feed) { feed.trickle = true; });

    const auto started = std::chrono::steady_clock::now();
    auto outcome = refreshAllAndWait();
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(outcome->calls.load(), 1);
    EXPECT_LT(took, deadline + 3s) << "a byte a second never trips the idle time-out; only the deadline ends it";
    ASSERT_TRUE(outcome->error);
    for (const std::string& name : names)
        EXPECT_EQ(articleLinks(server->feedURL(name)).size(), name == "trickle.xml" ? 1u : 2u) << name;
}

TEST_F(FeedsManagerTest, TheFirstTwentyNewItemsAndItemsWithoutTextArePrefetched) {
    std::vector<ServedItem> items = servedItems("p", 25);
    items[22].text = "";
    server->setFeed("long.xml", servedFeed("Long", items));
    const std::string url = server->feedURL("long.xml");
    ASSERT_EQ(addAndWait(url), std::nullopt);

    // A refresh with the flag on ends only after every prefetch has ended,
    // those of the add included.
    server->update("long.xml", [](ServedFeed& feed) {
        feed.items.insert(feed.items.begin(), servedItem("latest", std::chrono::minutes(1)));
    });
    refreshAllAndWait(true);
    std::set<std::string> fetched;
    for (const SeenRequest& request : server->requests())
        if (request.path.starts_with("/articles/")) fetched.insert(request.path.substr(10));
    std::set<std::string> expected = {"p22", "latest"};
    for (int index = 0; index < 20; ++index) expected.insert("p" + std::to_string(index));
    EXPECT_EQ(fetched, expected);
}

TEST_F(FeedsManagerTest, CancelAllEndsARefreshWithASlowFeed) {
    server->setFeed("fast.xml", servedFeed("Fast", servedItems("f", 1)));
    server->setFeed("slow.xml", servedFeed("Slow", servedItems("s", 1)));
    ASSERT_EQ(addAndWait(server->feedURL("fast.xml")), std::nullopt);
    ASSERT_EQ(addAndWait(server->feedURL("slow.xml")), std::nullopt);
    server->update("slow.xml", [](ServedFeed& feed) { feed.slow = true; });

    auto outcome = std::make_shared<RefreshOutcome>();
    manager->refreshAllFeeds(false, [outcome](std::optional<RSSServiceError> error) {
        outcome->error = std::move(error);
        ++outcome->calls;
    });
    // Under load the slow request can be waiting before the fast one was asked.
    ASSERT_TRUE(runMainUntil([&] {
        return server->slowRequestsWaiting() == 1 && server->requests("/feeds/fast.xml").size() == 2u;
    }));
    manager->cancelAll();
    ASSERT_TRUE(runMainUntil([&] { return outcome->calls.load() > 0; }));
    ASSERT_TRUE(outcome->error);
    EXPECT_TRUE(outcome->error->isCancelled());
}

TEST_F(FeedsManagerTest, ACloudArticleIsStoredIntoItsFeedOnce) {
    server->setFeed("pushed.xml", servedFeed("Pushed", servedItems("x", 1)));
    const std::string url = server->feedURL("pushed.xml");
    ASSERT_EQ(addAndWait(url), std::nullopt);

    // Older than the feed's last update: a pushed article is stored anyway.
    const auto date = std::chrono::system_clock::now() - std::chrono::hours(48);
    CloudArticle pushed("Pushed headline", date, "<p>Mirrored paragraph</p>", "Ann", server->url("/articles/pushed"),
                        std::nullopt, std::nullopt, url, "Pushed");
    auto store = [&](const CloudArticle& article) {
        struct Result {
            std::optional<Article> created;
            std::atomic<bool> done{false};
        };
        auto result = std::make_shared<Result>();
        manager->addArticle(article, [result](std::optional<Article> created) {
            result->created = std::move(created);
            result->done = true;
        });
        EXPECT_TRUE(runMainUntil([&] { return result->done.load(); }));
        return result->created.has_value();
    };
    EXPECT_TRUE(store(pushed));
    EXPECT_FALSE(store(pushed));
    CloudArticle stray("Stray", date, "text", std::nullopt, server->url("/articles/stray"), std::nullopt,
                       std::nullopt, server->feedURL("unknown.xml"), std::nullopt);
    EXPECT_FALSE(store(stray));
    EXPECT_EQ(articleLinks(url).size(), 2u);
    waitForArticleQueue();
    EXPECT_EQ(searchIDs("mirrored").size(), 1u);
}

}  // namespace
}  // namespace tallowmere::test
