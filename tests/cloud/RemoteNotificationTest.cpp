#include <gtest/gtest.h>

#include "CloudDevice.h"
#include "cloud/CloudRemoteNotificationHandler.h"
#include "cloud/ContainerCloudSyncManager.h"
#include "feeds/FeedsManagerFixture.h"
#include "platform/cloud/QueryNotification.h"
#include "support/OutsideWriter.h"

namespace tallowmere::test {
namespace {

using Kind = FaultInjectingDatabase::Kind;
using Payload = CloudRemoteNotificationHandler::Payload;

// Shows nothing; counts what it is told.
class PlainDelegate : public NotificationsManagerDelegate {
public:
    void showArticle(const Article&) override { ++shown; }
    std::atomic<int> shown{0};
};
class CloudDelegate final : public CloudNotificationsManagerDelegate {
public:
    void showArticle(const Article&) override { ++shown; }
    void userRecordDidChange() override { ++recordChanges; }
    std::atomic<int> shown{0};
    std::atomic<int> recordChanges{0};
};

// One push's outcome, once its completion has run.
struct Handled {
    std::atomic<int> calls{0};
    std::optional<CloudArticle> pushed;
    std::optional<Article> stored;
};

Payload push(const std::string& subscriptionID, const std::string& recordName = "",
             std::map<std::string, cloud::FieldValue> fields = {}) {
    cloud::Notification notification;
    notification.subscriptionID = subscriptionID;
    notification.recordID = cloud::RecordID(recordName);
    notification.recordFields = std::move(fields);
    Payload payload = cloud::QueryNotification::payload(notification);
    if (recordName.empty()) payload.erase(cloud::QueryNotification::recordNameKey);
    return payload;
}

// The real feed engine, store and article source, the pushes' records in a
// cloud file written by the outside writer, the device signed in as alice.
class RemoteNotificationTest : public FeedsManagerTest {
protected:
    void SetUp() override {
        FeedsManagerTest::SetUp();
        handler = makeHandler(*device);
    }
    void TearDown() override {
        handler.reset();
        sync.reset();
        FeedsManagerTest::TearDown();
    }

    std::shared_ptr<CloudRemoteNotificationHandler> makeHandler(CloudDevice& on) {
        sync = std::make_shared<ContainerCloudSyncManager>(
            [c = on.container] { return c; }, [u = on.user] { return u; },
            [this]() -> ArticlesSource& { return *articles; }, [n = on.notifications] { return n; });
        CloudRemoteNotificationHandler::Collaborators c;
        c.container = [container = on.container] { return container; };
        c.storeArticle = [this](const CloudArticle& article, CloudRemoteNotificationHandler::StoredCompletion done) {
            manager->addArticle(article, std::move(done));
        };
        c.articles = [this]() -> ArticlesSource& { return *articles; };
        c.user = [u = on.user] { return u; };
        c.sync = [s = sync] { return s; };
        c.delegate = [this] { return delegate; };
        return std::make_shared<CloudRemoteNotificationHandler>(std::move(c));
    }

    std::shared_ptr<Handled> start(const Payload& payload) {
        auto handled = std::make_shared<Handled>();
        handler->handleRemoteNotification(payload, [handled](std::optional<CloudArticle> pushed,
                                                             std::optional<Article> stored) {
            handled->pushed = std::move(pushed);
            handled->stored = std::move(stored);
            ++handled->calls;
        });
        return handled;
    }
    std::shared_ptr<Handled> handle(const Payload& payload) {
        auto handled = start(payload);
        EXPECT_TRUE(runMainUntil([&] { return handled->calls.load() > 0; })) << payload.dump();
        return handled;
    }

    // A feed of the loopback server, stored, and its URL.
    std::string storedFeed(const std::string& name) {
        server->setFeed(name, servedFeed(name, servedItems(name, 1)));
        const std::string url = server->feedURL(name);
        EXPECT_EQ(addAndWait(url), std::nullopt);
        return url;
    }
    cloud::Record writeArticle(const std::string& name, const std::string& url) {
        return writer.save({OutsideWriter::article(name, url, "Headline " + name, secondsDate(1'800'000'000))})[0];
    }
    std::optional<std::string> link(const std::optional<Article>& article) {
        if (!article) return std::nullopt;
        return inBackground<std::optional<std::string>>([&] { return article->link(); });
    }

    TempDir cloudFolder;
    OutsideWriter writer{cloud::Configuration::localFile(cloudFolder.path() / "cloud.sqlite")};
    std::unique_ptr<CloudDevice> device = std::make_unique<CloudDevice>(cloudFolder.path());
    std::shared_ptr<NotificationsManagerDelegate> delegate = std::make_shared<CloudDelegate>();
    std::shared_ptr<ContainerCloudSyncManager> sync;
    std::shared_ptr<CloudRemoteNotificationHandler> handler;
};

TEST_F(RemoteNotificationTest, ANewArticlePushStoresTheArticleOnceEvenWhenRunAgain) {
    const std::string url = storedFeed("news.xml");
    const auto record = writeArticle("pushed", url);
    const Payload payload = push("new_article", "pushed", {{"link", *record.get<std::string>("link")}, {"feed_url", url}});

    auto first = handle(payload);
    ASSERT_TRUE(first->pushed);
    EXPECT_EQ(first->pushed->title(), "Headline pushed");
    EXPECT_EQ(first->pushed->feedURL(), url);
    EXPECT_EQ(link(first->stored), record.get<std::string>("link"));

    // A click on the notification runs the push again: nothing new is stored,
    // and the article is found by its link.
    auto again = handle(payload);
    ASSERT_TRUE(again->pushed);
    EXPECT_FALSE(again->stored);
    EXPECT_EQ(link(handler->article(again->pushed, payload)), record.get<std::string>("link"));
    EXPECT_EQ(link(handler->article(std::nullopt, payload)), record.get<std::string>("link"));
    EXPECT_EQ(articleLinks(url).size(), 2u);
    EXPECT_EQ(first->calls.load() + again->calls.load(), 2);
}

TEST_F(RemoteNotificationTest, NewArticlePushesThatStoreNothing) {
    writeArticle("stray", "https://unknown.example/feed");
    struct Case {
        const char* what;
        Payload payload;
        bool pushed;
    };
    const Case cases[] = {
        {"a record deleted before the fetch", push("new_article", "gone"), false},
        {"no record named", push("new_article"), false},
        {"the record's feed is not stored", push("new_article", "stray"), true},
    };
    for (const Case& c : cases) {
        auto handled = handle(c.payload);
        EXPECT_EQ(handled->pushed.has_value(), c.pushed) << c.what;
        EXPECT_FALSE(handled->stored) << c.what;
    }
    EXPECT_EQ(device->container->publicFaults().requestCount(Kind::fetchRecords), 2);
}

TEST_F(RemoteNotificationTest, PushesOfNoKnownSubscriptionAreIgnoredWithoutCompletion) {
    std::vector<std::shared_ptr<Handled>> ignored;
    for (const Payload& payload : {Payload::object(), Payload{{"subscriptionID", 5}, {"recordName", "x"}},
                                   Payload{{"subscriptionID", "other"}}, Payload("new_article"), Payload::array()}) {
        ignored.push_back(start(payload));
    }
    // A push handled after them has completed; none of them ever does.
    handle(push("guid_update"));
    for (const auto& handled : ignored) EXPECT_EQ(handled->calls.load(), 0);
    EXPECT_EQ(device->container->publicFaults().requestCount(Kind::fetchRecords), 0);

    auto absent = handle(Payload());
    EXPECT_FALSE(absent->pushed);
}

TEST_F(RemoteNotificationTest, AGUIDPushTellsTheDelegateAndTakesOverOnlyABooleanVerifiedFlag) {
    auto kept = std::static_pointer_cast<CloudDelegate>(delegate);
    CloudDelegate& cloudDelegate = *kept;
    Payload notAMap = push("guid_update");
    notAMap[cloud::QueryNotification::recordFieldsKey] = "verified";
    struct Case {
        const char* what;
        Payload payload;
        bool verifiedAfter;
    };
    const Case cases[] = {
        {"true", push("guid_update", "guid", {{"verified", true}}), true},
        {"as a string", push("guid_update", "guid", {{"verified", std::string("false")}}), true},
        {"fields not a map", notAMap, true},
        {"false", push("guid_update", "guid", {{"verified", false}}), false},
    };
    int told = 0;
    for (const Case& c : cases) {
        handle(c.payload);
        EXPECT_EQ(cloudDelegate.recordChanges.load(), ++told) << c.what;
        EXPECT_EQ(device->user->emailVerified(), c.verifiedAfter) << c.what;
    }

    // A delegate that only shows articles: the flag is still taken over.
    delegate = std::make_shared<PlainDelegate>();
    handle(push("guid_update", "guid", {{"verified", true}}));
    EXPECT_TRUE(device->user->emailVerified());
    EXPECT_EQ(cloudDelegate.recordChanges.load(), told);
}

TEST_F(RemoteNotificationTest, ASyncPushDownloadsTheSyncRecordOnlyWhenSignedIn) {
    auto privateRequests = [](CloudDevice& on) {
        return on.container->privateFaults().requestCount(Kind::fetchRecords) +
               on.container->privateFaults().requestCount(Kind::query);
    };
    handle(push("sync_update", "sync_info"));
    EXPECT_GE(privateRequests(*device), 1);

    auto signedOut = std::make_unique<CloudDevice>(cloud::Container::make(cloud::Configuration::none()));
    handler = makeHandler(*signedOut);
    auto handled = handle(push("sync_update", "sync_info"));
    EXPECT_FALSE(handled->pushed);
    EXPECT_EQ(privateRequests(*signedOut), 0);
    handler.reset();
    sync.reset();
}

TEST_F(RemoteNotificationTest, TheArticleOfAPushIsFoundByExactLinkBeforeAnyPrefix) {
    const std::string base = "https://site.example/posts/";
    // Stored with capitals and a trailing "/", as a user may have added it.
    auto& context = *dataController->backgroundContext();
    context.performAndWait([&] {
        Feed feed = Feed::insert(context);
        feed.setName("site");
        feed.setUrl("https://Site.example/Feed/");
        for (const char* path : {"a-longer", "a", "b-only-longer"}) {
            Article article = Article::insert(context);
            article.setLink(base + path);
            article.setTitle(path);
            article.setFeed(feed);
        }
        ASSERT_TRUE(context.save().ok());
    });
    const std::string feed = "https://site.example/feed";
    struct Case {
        std::string link;
        std::string feedURL;
        std::optional<std::string> found;
    };
    const Case cases[] = {
        {base + "a", feed, base + "a"},
        {base + "A", feed, base + "a"},
        {base + "a", feed + "/", base + "a"},
        {base + "b", feed, base + "b-only-longer"},
        {base + "c", feed, std::nullopt},
        {base + "a", "https://other.example/feed", std::nullopt},
        {"", feed, std::nullopt},
        {base + "a", "", std::nullopt},
    };
    for (const Case& c : cases) {
        const Payload payload = push("new_article", "x", {{"link", c.link}, {"feed_url", c.feedURL}});
        EXPECT_EQ(link(handler->article(std::nullopt, payload)), c.found) << c.link << " in " << c.feedURL;
    }
    const Payload withoutFeed = push("new_article", "x", {{"link", base + "a"}});
    EXPECT_FALSE(handler->article(std::nullopt, withoutFeed));
}

}  // namespace
}  // namespace tallowmere::test
