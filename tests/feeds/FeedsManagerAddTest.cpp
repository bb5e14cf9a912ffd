#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "cloud/CloudUserManager.h"
#include "cloud/NullCloudUserManager.h"
#include "feeds/FeedsManagerFixture.h"
#include "service/NullTallowmereManager.h"
#include "service/TallowmereManager.h"
#include "store/Tag.h"
#include "support/SignedOutCloudUserManager.h"

namespace tallowmere::test {
namespace {

// Keeps the URL lists the backend was sent.
class RecordingBackend final : public NullTallowmereManager {
public:
    void addFeeds(std::vector<std::string> urlStrings, AddFeedsCompletion completion) override {
        {
            std::lock_guard lock(mutex_);
            sent_.push_back(urlStrings);
        }
        NullTallowmereManager::addFeeds(std::move(urlStrings), std::move(completion));
    }
    std::vector<std::vector<std::string>> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::vector<std::string>> sent_;
};

// A cloud user manager whose settings answer never comes.
class SilentCloudUserManager final : public SignedOutCloudUserManager {
public:
    void feedNotificationSettings(const std::string&, NotificationSettingsCompletion) override { ++asked; }
    std::atomic<int> asked{0};
};

// Puts a service in place for one test and the signed-out stand-in back after.
template <typename Service, typename Default>
class ServiceScope {
public:
    explicit ServiceScope(std::shared_ptr<Service> service) { Service::setShared(std::move(service)); }
    ~ServiceScope() { Service::setShared(std::make_shared<Default>()); }
};

TEST(FeedsManagerNormalisationTest, SchemesAndFeedLinks) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"example.com/feed.xml", "http://example.com/feed.xml"},
        {"feed://example.com/feed.xml", "http://example.com/feed.xml"},
        {"feed://feed://example.com/rss", "http://example.com/rss"},
        {"https://example.com/rss", "https://example.com/rss"},
        {"httpexample.com", "httpexample.com"},
        {"Example.COM/Path", "http://Example.COM/Path"},
        // White space around the address, the scheme in any case, "feed:" before a web address.
        {" example.com", "http://example.com"},
        {"\thttps://example.com/rss \n", "https://example.com/rss"},
        {"HTTPS://Example.COM/Path", "https://Example.COM/Path"},
        {"Http://example.com/rss", "http://example.com/rss"},
        {"feed:https://example.com/rss", "https://example.com/rss"},
        {"feed:http://example.com/rss", "http://example.com/rss"},
        {"FEED:HTTPS://example.com/rss", "https://example.com/rss"},
        {"Feed://example.com/rss", "http://example.com/rss"},
        {"feed://https://example.com/rss", "https://example.com/rss"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(FeedsManager::normalizedURLString(input), expected) << input;
}

TEST(FeedsManagerErrorTest, LocalisedDescriptionsCarryTheURL) {
    EXPECT_EQ(FeedsManagerError::malformedURL("http://a b").errorDescription(),
              "“http://a b” is not a valid feed address.");
    EXPECT_EQ(FeedsManagerError::alreadyAdded("http://a/feed").errorDescription(),
              "The feed “http://a/feed” has already been added.");
    EXPECT_EQ(FeedsManagerError::download("http://a/feed").errorDescription(),
              "The feed at http://a/feed could not be downloaded.");
    EXPECT_EQ(FeedsManagerError::cancelled().errorDescription(), std::nullopt);
}

TEST_F(FeedsManagerTest, AddsAFeedWithItsArticlesIconFolderAndSearchDocuments) {
    ServedFeed feed = servedFeed("Daily <b>News</b>", servedItems("n", 3));
    feed.items[0].tags = {"Science", "space"};
    server->setFeed("news.xml", feed);
    auto backend = std::make_shared<RecordingBackend>();
    ServiceScope<TallowmereManager, NullTallowmereManager> scope(backend);

    const std::string url = server->feedURL("news.xml");
    EXPECT_EQ(addAndWait(url, "Reading"), std::nullopt);

    std::optional<Feed> stored = storedFeed(url);
    ASSERT_TRUE(stored);
    auto [name, folderName, icon, storedURL] =
        inBackground<std::tuple<std::string, std::string, std::string, std::string>>([&] {
            auto folder = stored->folder();
            auto bytes = stored->icon().value_or(graph::Bytes{});
            return std::make_tuple(stored->name().value_or(""), folder ? folder->name().value_or("") : "",
                                   std::string(bytes.begin(), bytes.end()), stored->url().value_or(""));
        });
    EXPECT_EQ(name, "Daily News");
    EXPECT_EQ(folderName, "Reading");
    EXPECT_EQ(icon, FeedServer::iconBytes);
    EXPECT_EQ(storedURL, url);
    EXPECT_EQ(articleLinks(url).size(), 3u);
    // lastUpdate is the newest item's date (served an hour ago, to the second).
    const double newest = graph::Date::now().seconds - 3600;
    ASSERT_TRUE(lastUpdate(url));
    EXPECT_NEAR(lastUpdate(url)->seconds, newest, 5);
    // The backend hears of the URL as the user gave it.
    EXPECT_EQ(backend->sent(), (std::vector<std::vector<std::string>>{{url}}));

    waitForArticleQueue();
    EXPECT_EQ(searchIDs("subject").size(), 3u);
    EXPECT_EQ(searchIDs("science").size(), 1u);
}

TEST_F(FeedsManagerTest, AWebPageIsStoredAsTheFeedItAnnounces) {
    server->setFeed("real.xml", servedFeed("Real", servedItems("r", 2)));
    ServedFeed page;
    page.announces = "real.xml";
    server->setFeed("page.html", page);

    EXPECT_EQ(addAndWait(server->feedURL("page.html")), std::nullopt);
    EXPECT_TRUE(storedFeed(server->feedURL("real.xml")));
    EXPECT_FALSE(storedFeed(server->feedURL("page.html")));

    // The page again: only the fetch shows that its feed is stored already.
    std::optional<FeedsManagerError> again = addAndWait(server->feedURL("page.html"));
    EXPECT_EQ(again, FeedsManagerError::alreadyAdded(server->feedURL("real.xml")));
}

TEST_F(FeedsManagerTest, MalformedAndDuplicateURLsAreRefusedAtOnce) {
    server->setFeed("news.xml", servedFeed("News", servedItems("n", 1)));
    const std::string url = server->feedURL("news.xml");
    ASSERT_EQ(addAndWait(url), std::nullopt);
    const std::string hostAndPath = url.substr(std::string("http://").size());

    struct Case {
        std::string input;
        FeedsManagerError expected;
    };
    const std::vector<Case> cases = {
        {url, FeedsManagerError::alreadyAdded(url)},
        {"http://exa mple.com/feed", FeedsManagerError::malformedURL("http://exa mple.com/feed")},
        {"", FeedsManagerError::malformedURL("http://")},
        {"feed://" + hostAndPath, FeedsManagerError::alreadyAdded(url)},
        {hostAndPath, FeedsManagerError::alreadyAdded(url)},
        {server->url("/FEEDS/NEWS.XML"), FeedsManagerError::alreadyAdded(server->url("/FEEDS/NEWS.XML"))},
    };
    for (const Case& c : cases) {
        // Answered on this thread before addFeed returns.
        auto outcome = add(c.input);
        ASSERT_EQ(outcome->calls.load(), 1) << c.input;
        EXPECT_EQ(outcome->error, c.expected) << c.input;
    }
    EXPECT_EQ(server->requests("/feeds/news.xml").size(), 1u);
}

TEST_F(FeedsManagerTest, TwoAddsOfOneFeedInTwoSpellingsAtOnceMakeOneFeed) {
    // Two spellings, so the web layer does not let the newer request replace the older.
    ServedFeed slow = servedFeed("News", servedItems("n", 1));
    slow.slow = true;
    server->setFeed("news.xml", slow);
    server->setFeed("NEWS.XML", slow);
    const std::string lower = server->feedURL("news.xml");
    const std::string upper = server->feedURL("NEWS.XML");
    auto first = add(lower);
    auto second = add(" " + upper);
    // Both pass the check after their fetch, and then look up the icon at once.
    ASSERT_TRUE(runMainUntil([&] { return server->slowRequestsWaiting() == 2; }));
    server->openGate();
    ASSERT_TRUE(runMainUntil([&] { return first->done() && second->done(); }));
    ASSERT_NE(first->error.has_value(), second->error.has_value());
    const FeedsManagerError refused = first->error ? *first->error : *second->error;
    EXPECT_EQ(refused, FeedsManagerError::alreadyAdded(first->error ? lower : upper));
    EXPECT_EQ(nodes->allFeeds().size(), 1u);
}

TEST_F(FeedsManagerTest, DownloadFailuresAndDocumentsWithoutAFeed) {
    server->setFeed("broken.xml", servedFeed("Broken", {}, 500));
    std::optional<FeedsManagerError> error = addAndWait(server->feedURL("broken.xml"));
    EXPECT_EQ(error, FeedsManagerError::download(server->feedURL("broken.xml")));
    EXPECT_FALSE(storedFeed(server->feedURL("broken.xml")));

    // A page that announces nothing still becomes a feed, named by its URL.
    ServedFeed page;
    page.announces = "missing.xml";
    server->setFeed("page.html", page);
    server->setFeed("missing.xml", servedFeed("x", {}, 404));
    const std::string pageURL = server->feedURL("page.html");
    std::optional<FeedsManagerError> pageError = addAndWait(pageURL);
    EXPECT_EQ(pageError, FeedsManagerError::download(pageURL));
}

TEST_F(FeedsManagerTest, AtMostTwoAddsFetchAtOnce) {
    std::vector<std::shared_ptr<AddOutcome>> outcomes;
    for (int index = 0; index < 4; ++index) {
        const std::string name = "f" + std::to_string(index) + ".xml";
        server->setFeed(name, servedFeed("Feed " + std::to_string(index), servedItems("f" + std::to_string(index), 2)));
        outcomes.push_back(add(server->feedURL(name)));
    }
    ASSERT_TRUE(runMainUntil([&] {
        for (auto& outcome : outcomes)
            if (!outcome->done()) return false;
        return true;
    }));
    for (auto& outcome : outcomes) EXPECT_EQ(outcome->error, std::nullopt);
    EXPECT_EQ(nodes->allFeeds().size(), 4u);
    EXPECT_LE(server->maxFeedRequestsAtOnce(), 2);
    EXPECT_GE(server->maxFeedRequestsAtOnce(), 1);
}

TEST_F(FeedsManagerTest, ABatchLeavesTheGroupOncePerEntryAndRegistersOnce) {
    auto backend = std::make_shared<RecordingBackend>();
    ServiceScope<TallowmereManager, NullTallowmereManager> scope(backend);
    std::vector<FeedsManager::FeedEntry> entries;
    for (int index = 0; index < 7; ++index) {
        const std::string name = "b" + std::to_string(index) + ".xml";
        server->setFeed(name, servedFeed("Batch " + std::to_string(index), servedItems("b" + std::to_string(index), 1)));
        entries.push_back({server->feedURL(name), index % 2 ? std::optional<std::string>("Batch") : std::nullopt});
    }
    server->setFeed("fails.xml", servedFeed("x", {}, 500));
    entries.push_back({server->feedURL("fails.xml"), std::nullopt});
    entries.push_back({server->feedURL("b0.xml"), std::nullopt});  // a duplicate within the batch
    entries.push_back({"http://", std::nullopt});                  // malformed

    std::atomic<int> completions = 0;
    std::atomic<std::size_t> added = 0;
    manager->addFeeds(entries, FeedBatchOptions{.saveUserFeedsFirst = true, .uploadSyncInfo = false},
                      [&](std::size_t count) {
                          added = count;
                          ++completions;
                      });
    ASSERT_TRUE(runMainUntil([&] { return completions.load() > 0; }));
    // Each entry left the group once: one more leave would stop the
    // program, one fewer would never end the batch.
    EXPECT_EQ(completions.load(), 1);
    EXPECT_EQ(nodes->allFeeds().size(), 7u);
    EXPECT_EQ(added.load(), 7u);
    ASSERT_EQ(backend->sent().size(), 1u);
    EXPECT_EQ(backend->sent()[0].size(), 10u);
    EXPECT_EQ(backend->sent()[0][0], entries[0].urlString);
    EXPECT_EQ(backend->sent()[0][9], "http://");
    EXPECT_TRUE(nodes->folder("batch"));
}

TEST_F(FeedsManagerTest, ABatchSkipsTheFeedsStoredBeforeIt) {
    server->setFeed("kept.xml", servedFeed("Kept", servedItems("k", 2)));
    server->setFeed("new.xml", servedFeed("New", servedItems("w", 2)));
    ASSERT_EQ(addAndWait(server->feedURL("kept.xml")), std::nullopt);
    std::atomic<std::size_t> added = 99;
    manager->addFeeds({{server->feedURL("kept.xml"), std::nullopt}, {server->feedURL("new.xml"), std::nullopt}},
                      FeedBatchOptions{}, [&](std::size_t count) { added = count; });
    ASSERT_TRUE(runMainUntil([&] { return added.load() != 99; }));
    EXPECT_EQ(added.load(), 1u);
    EXPECT_EQ(nodes->allFeeds().size(), 2u);
    EXPECT_EQ(server->requests("/feeds/kept.xml").size(), 1u);
    EXPECT_EQ(articleLinks(server->feedURL("kept.xml")).size(), 2u);
}

TEST_F(FeedsManagerTest, OfTwoItemsWithOneLinkTheFirstIsStored) {
    ServedFeed feed = servedFeed("Twice", {servedItem("same", std::chrono::hours(1)),
                                           servedItem("other", std::chrono::hours(2)),
                                           servedItem("same", std::chrono::hours(3))});
    feed.items[0].text = "Earlier wording";
    feed.items[2].text = "Later wording";
    server->setFeed("twice.xml", feed);
    const std::string url = server->feedURL("twice.xml");
    ASSERT_EQ(addAndWait(url), std::nullopt);
    EXPECT_EQ(articleLinks(url).size(), 2u);
    waitForArticleQueue();
    EXPECT_EQ(searchIDs("earlier").size(), 1u);
    EXPECT_EQ(searchIDs("later").size(), 0u);
}

TEST_F(FeedsManagerTest, FeedsAddedTogetherShareOneTagPerName) {
    ServedFeed first = servedFeed("First", servedItems("f", 2));
    first.items[0].tags = {"Science"};
    first.items[1].tags = {"Space"};
    ServedFeed second = servedFeed("Second", servedItems("s", 1));
    second.items[0].tags = {"science"};
    server->setFeed("first.xml", first);
    server->setFeed("second.xml", second);
    std::atomic<bool> done = false;
    manager->addFeeds({{server->feedURL("first.xml"), std::nullopt}, {server->feedURL("second.xml"), std::nullopt}},
                      FeedBatchOptions{}, [&](std::size_t) { done = true; });
    ASSERT_TRUE(runMainUntil([&] { return done.load(); }));
    auto names = inBackground<std::vector<std::string>>([&] {
        std::vector<std::string> found;
        auto tags = dataController->backgroundContext()->fetch(Tag::fetchRequest());
        for (const auto& tag : tags.value()) found.push_back(tag->string("name").value_or(""));
        std::sort(found.begin(), found.end());
        return found;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"science", "space"}));
    waitForArticleQueue();
    EXPECT_EQ(searchIDs("science").size(), 2u);
}

// What another connection reads from the store file: only what was saved.
std::int64_t savedArticleCount(const std::filesystem::path& store) {
    sqlite3* db = nullptr;
    std::int64_t count = -1;
    if (sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM article", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

TEST_F(FeedsManagerTest, ABatchEndsOnceEveryArticleOfItsFeedsIsSaved) {
    std::vector<FeedsManager::FeedEntry> entries;
    for (int index = 0; index < 12; ++index) {
        const std::string name = "s" + std::to_string(index) + ".xml";
        server->setFeed(name, servedFeed("Saved " + std::to_string(index), servedItems("s" + std::to_string(index), 4)));
        entries.push_back({server->feedURL(name), std::nullopt});
    }
    std::atomic<std::int64_t> savedAtCompletion = -2;
    manager->addFeeds(entries, FeedBatchOptions{}, [&](std::size_t) {
        savedAtCompletion = savedArticleCount(dir.path() / "store" / "Tallowmere.sqlite");
    });
    ASSERT_TRUE(runMainUntil([&] { return savedAtCompletion.load() != -2; }));
    EXPECT_EQ(savedAtCompletion.load(), 48);
    for (const auto& entry : entries) EXPECT_EQ(articleLinks(entry.urlString).size(), 4u) << entry.urlString;
}

TEST_F(FeedsManagerTest, ACloudThatNeverAnswersDoesNotHoldTheAddsForever) {
    manager = std::make_unique<FeedsManager>(collaborators(100ms));
    auto silent = std::make_shared<SilentCloudUserManager>();
    ServiceScope<CloudUserManager, NullCloudUserManager> scope(silent);
    std::vector<std::shared_ptr<AddOutcome>> outcomes;
    for (int index = 0; index < 3; ++index) {
        const std::string name = "s" + std::to_string(index) + ".xml";
        server->setFeed(name, servedFeed("S", servedItems("s" + std::to_string(index), 1)));
        outcomes.push_back(add(server->feedURL(name)));
    }
    ASSERT_TRUE(runMainUntil([&] {
        for (auto& outcome : outcomes)
            if (!outcome->done()) return false;
        return true;
    }));
    for (auto& outcome : outcomes) EXPECT_EQ(outcome->error, std::nullopt);
    EXPECT_EQ(silent->asked.load(), 3);
    EXPECT_EQ(nodes->allFeeds().size(), 3u);
}

TEST_F(FeedsManagerTest, CancelAllEndsAnAddWhoseFeedIsSlow) {
    ServedFeed slow = servedFeed("Slow", servedItems("s", 1));
    slow.slow = true;
    server->setFeed("slow.xml", slow);
    auto outcome = add(server->feedURL("slow.xml"));
    ASSERT_TRUE(runMainUntil([&] { return server->slowRequestsWaiting() == 1; }));
    manager->cancelAll();
    ASSERT_TRUE(runMainUntil([&] { return outcome->done(); }));
    EXPECT_EQ(outcome->error, FeedsManagerError::cancelled());
    EXPECT_FALSE(storedFeed(server->feedURL("slow.xml")));
    server->openGate();
    // No retry with "feed" after the cancellation.
    EXPECT_TRUE(server->requests("/feeds/slow.xml/feed").empty());
}

}  // namespace
}  // namespace tallowmere::test
