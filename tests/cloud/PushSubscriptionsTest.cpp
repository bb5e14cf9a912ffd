#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>

#include "CloudDevice.h"
#include "cloud/ContainerCloudNotificationsManager.h"
#include "platform/cloud/Notification.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/CloudCalls.h"
#include "support/LogCapture.h"
#include "support/OutsideWriter.h"
#include "support/TempDir.h"

namespace tallowmere {
namespace {

using cloud::QuerySubscription;
using test::await;
using Kind = test::FaultInjectingDatabase::Kind;
using Manager = ContainerCloudNotificationsManager;
using Texts = std::vector<std::string>;

// A device whose user manager subscribes through the real notifications
// manager, and the notifications manager asks that user manager whether the
// cloud may be used: the wiring of the program.
struct SubscribingDevice {
    explicit SubscribingDevice(const std::filesystem::path& cloudFolder)
        : SubscribingDevice(cloud::Container::make(
              cloud::Configuration::localFile(cloudFolder / "cloud.sqlite", "alice"))) {}
    explicit SubscribingDevice(std::shared_ptr<cloud::Container> inner)
        : container(std::make_shared<test::FaultInjectingContainer>(std::move(inner))),
          notifications(std::make_shared<Manager>([c = container] { return c; }, [this] { return user; },
                                                  nullptr, [this] { return showNewArticles.load(); })),
          user(std::make_shared<ContainerCloudUserManager>([c = container] { return c; },
                                                           [this] { return cloudEnabled.load(); },
                                                           [n = notifications] { return n; })) {
        notifications->setScheduler(retries.scheduler(notifications->retryQueue()));
        user->setScheduler(retries.scheduler(user->retryQueue()));
    }
    std::optional<std::string> guid() {
        return await<std::optional<std::string>>([&](auto done) { user->getGUID(done); });
    }
    std::map<std::string, QuerySubscription> publicSubscriptions() {
        return test::cloudcalls::subscriptions(*container->publicDatabase()).subscriptions;
    }
    std::map<std::string, QuerySubscription> privateSubscriptions() {
        return test::cloudcalls::subscriptions(*container->privateDatabase()).subscriptions;
    }
    // Runs the call and fails unless its completion runs exactly once.
    void once(const std::function<void(std::function<void()>)>& call) {
        auto calls = std::make_shared<std::atomic<int>>(0);
        call([calls] { ++*calls; });
        ASSERT_TRUE(test::waitUntil([&] { return calls->load() > 0; }));
        // Long enough for a second completion to show.
        test::awaitDone([&](auto done) { notifications->retryQueue().async(done); });
        EXPECT_EQ(calls->load(), 1);
    }

    std::shared_ptr<test::FaultInjectingContainer> container;
    std::atomic<bool> cloudEnabled{true};
    std::atomic<bool> showNewArticles{true};
    test::RetryRecorder retries;
    std::shared_ptr<Manager> notifications;
    std::shared_ptr<ContainerCloudUserManager> user;
};

// Feeds of a store of their own, as the node source hands them out.
struct StoredFeeds {
    std::vector<Feed> make(const std::vector<std::pair<std::string, bool>>& feeds) {
        auto& context = *controller->backgroundContext();
        std::vector<Feed> made;
        context.performAndWait([&] {
            for (const auto& [url, notify] : feeds) {
                Feed feed = Feed::insert(context);
                feed.setUrl(url);
                feed.setNotifyUpdates(notify);
                made.push_back(feed);
            }
            EXPECT_TRUE(context.save().ok());
        });
        return made;
    }
    test::TempDir folder;
    std::shared_ptr<DataController> controller = DataController::open(folder.path() / "Tallowmere.sqlite").value();
};

class PushSubscriptionsTest : public ::testing::Test {
protected:
    test::TempDir cloudFolder;
};

TEST_F(PushSubscriptionsTest, TheUserRecordFetchSubscribesToTheIdentityRecordWithoutBlockingItself) {
    // A new user gets a GUID and the subscription in one fetch; a second
    // device of the account reads that GUID and subscribes in its own fetch.
    // Either would hang if the save queued on the user-record queue the
    // fetch holds.
    for (int device = 0; device < 2; ++device) {
        SubscribingDevice here(cloudFolder.path());
        const auto guid = here.guid();
        ASSERT_TRUE(guid) << device;
        const auto subscriptions = here.publicSubscriptions();
        ASSERT_TRUE(subscriptions.contains(Manager::guidUpdateID)) << device;
        EXPECT_EQ(subscriptions.at(Manager::guidUpdateID), Manager::guidUpdateSubscription(*guid));
    }
    const QuerySubscription made = Manager::guidUpdateSubscription("G");
    EXPECT_EQ(made.recordType, "guid");
    EXPECT_EQ(made.predicate, cloud::Predicate::equals("guid", std::string("G")));
    EXPECT_EQ(made.options, 3u);
    EXPECT_EQ(made.notificationInfo.desiredKeys, (Texts{"guid", "verified"}));
    EXPECT_TRUE(made.notificationInfo.shouldSendContentAvailable);
}

TEST_F(PushSubscriptionsTest, NewArticleSubscriptionFollowsTheNotifyingFeedsAndTheSetting) {
    SubscribingDevice here(cloudFolder.path());
    ASSERT_TRUE(here.guid());
    StoredFeeds store;
    const auto feeds = store.make({{"HTTPS://Example.COM/Feed/", true}, {"///", true}, {"https://quiet.example", false}});
    here.once([&](auto done) { here.notifications->updateNewArticleSubscription(feeds, done); });
    auto subscriptions = here.publicSubscriptions();
    ASSERT_TRUE(subscriptions.contains(Manager::newArticleID));
    const QuerySubscription& made = subscriptions.at(Manager::newArticleID);
    EXPECT_EQ(made.recordType, "article");
    EXPECT_EQ(made.predicate, cloud::Predicate::in("feed_url", {"https://example.com/feed", ""}));
    EXPECT_EQ(made.options, 1u);
    const cloud::NotificationInfo& info = made.notificationInfo;
    EXPECT_EQ(info.desiredKeys, (Texts{"link", "feed_url", "top_image_url"}));
    EXPECT_EQ(info.soundName, "default");
    EXPECT_EQ(info.category, "cloudkit");
    EXPECT_TRUE(info.shouldSendContentAvailable);
    EXPECT_EQ(info.titleLocalizationKey, "%@");
    EXPECT_EQ(info.titleLocalizationArgs, Texts{"title"});
    EXPECT_EQ(info.alertLocalizationKey, "%@");
    EXPECT_EQ(info.alertLocalizationArgs, Texts{"feed_title"});
    EXPECT_TRUE(info.shouldSendMutableContent);

    here.once([&](auto done) { here.notifications->updateNewArticleSubscription({}, done); });
    EXPECT_EQ(here.publicSubscriptions().at(Manager::newArticleID).predicate,
              cloud::Predicate::in("feed_url", {})) << "no notifying feed still saves a subscription";

    here.showNewArticles = false;
    here.once([&](auto done) { here.notifications->updateNewArticleSubscription(feeds, done); });
    subscriptions = here.publicSubscriptions();
    EXPECT_FALSE(subscriptions.contains(Manager::newArticleID));
    EXPECT_TRUE(subscriptions.contains(Manager::guidUpdateID));
}

TEST_F(PushSubscriptionsTest, SavesClearUnknownSubscriptionsOfTheirOwnDatabase) {
    SubscribingDevice here(cloudFolder.path());
    const auto guid = here.guid();
    ASSERT_TRUE(guid);
    QuerySubscription stale;
    stale.subscriptionID = "stale";
    stale.recordType = "guid";
    for (auto database : {here.container->publicDatabase(), here.container->privateDatabase()}) {
        ASSERT_FALSE(test::cloudcalls::saveSubscriptions(*database, {stale}));
    }
    here.once([&](auto done) { here.notifications->subscribeGUIDUpdates(*guid, done); });
    EXPECT_FALSE(here.publicSubscriptions().contains("stale"));
    EXPECT_TRUE(here.privateSubscriptions().contains("stale")) << "another database's turn comes with its own save";

    here.once([&](auto done) { here.notifications->subscribeSyncUpdates(done); });
    const auto privateOnes = here.privateSubscriptions();
    EXPECT_FALSE(privateOnes.contains("stale"));
    ASSERT_TRUE(privateOnes.contains(Manager::syncUpdateID));
    const QuerySubscription& sync = privateOnes.at(Manager::syncUpdateID);
    EXPECT_EQ(sync.recordType, "sync");
    EXPECT_EQ(sync.predicate, cloud::Predicate::recordIDEquals(cloud::RecordID("sync_info")));
    EXPECT_EQ(sync.options, 3u);
    EXPECT_FALSE(sync.notificationInfo.shouldSendContentAvailable);
    EXPECT_TRUE(here.publicSubscriptions().contains(Manager::guidUpdateID)) << "the other known ones stay";
}

TEST_F(PushSubscriptionsTest, TheDeleteRuleKeepsKnownIDsAndReplacesTheTarget) {
    const auto replacement = Manager::guidUpdateSubscription("G");
    struct Case {
        std::string key;
        std::optional<QuerySubscription> subscription;
        bool deleted;
    };
    const std::vector<Case> cases = {
        {"guid_update", replacement, false},  // replaced by the save itself
        {"guid_update", std::nullopt, true},
        {"new_article", replacement, false},
        {"sync_update", std::nullopt, false},
        {"stale", replacement, true},
        {"", std::nullopt, true},
    };
    for (const auto& c : cases) EXPECT_EQ(Manager::deletes(c.key, "guid_update", c.subscription), c.deleted) << c.key;
}

TEST_F(PushSubscriptionsTest, WithoutTheCloudNothingIsAskedAndTheCompletionRunsOnce) {
    SubscribingDevice signedOut(cloud::Container::make(cloud::Configuration::none()));
    EXPECT_FALSE(signedOut.guid());
    SubscribingDevice switchedOff(cloudFolder.path());
    ASSERT_TRUE(switchedOff.guid());
    switchedOff.cloudEnabled = false;
    for (auto* device : {&signedOut, &switchedOff}) {
        const int before = device->container->publicFaults().requestCount(Kind::fetchSubscriptions);
        device->once([&](auto done) { device->notifications->updateNewArticleSubscription({}, done); });
        device->once([&](auto done) { device->notifications->subscribeSyncUpdates(done); });
        EXPECT_EQ(device->container->publicFaults().requestCount(Kind::fetchSubscriptions), before);
        EXPECT_EQ(device->container->privateFaults().requestCount(Kind::fetchSubscriptions), 0);
    }
}

TEST_F(PushSubscriptionsTest, FailuresOfTheFetchEndTheSaveAndPassingOnesOfTheModifyRerunIt) {
    SubscribingDevice here(cloudFolder.path());
    ASSERT_TRUE(here.guid());
    auto& faults = here.container->privateFaults();

    faults.failNext(Kind::fetchSubscriptions, 1, cloud::Error::make(cloud::ErrorCode::networkFailure, "offline"));
    test::LogCapture log;
    here.once([&](auto done) { here.notifications->subscribeSyncUpdates(done); });
    EXPECT_EQ(faults.requestCount(Kind::modifySubscriptions), 0) << "a failed fetch is not retried";
    const auto lines = log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("[ERROR]: fetchSubscriptions error: ") != std::string::npos;
    }));

    faults.failNext(Kind::modifySubscriptions, 1, cloud::Error::make(cloud::ErrorCode::networkFailure, "offline"));
    here.once([&](auto done) { here.notifications->subscribeSyncUpdates(done); });
    EXPECT_EQ(faults.requestCount(Kind::fetchSubscriptions), 3) << "the failed fetch, then fetch and modify twice";
    EXPECT_EQ(faults.requestCount(Kind::modifySubscriptions), 2);
    EXPECT_EQ(here.retries.delays(), std::vector<long>{10});
    EXPECT_TRUE(here.privateSubscriptions().contains(Manager::syncUpdateID));
}

// The pushes a device receives, in order.
class PushInbox {
public:
    void listen(cloud::Container& container) {
        container.startPushDelivery([this](const cloud::Notification& notification) {
            std::lock_guard lock(mutex_);
            received_.push_back(notification);
        });
    }
    std::optional<cloud::Notification> waitFor(const std::string& subscriptionID) {
        std::optional<cloud::Notification> found;
        test::waitUntil([&] {
            std::lock_guard lock(mutex_);
            for (const auto& notification : received_) {
                if (notification.subscriptionID == subscriptionID) found = notification;
            }
            return found.has_value();
        });
        return found;
    }

private:
    std::mutex mutex_;
    std::deque<cloud::Notification> received_;
};

TEST_F(PushSubscriptionsTest, AnotherDevicesSavesReachThisDeviceAsPushes) {
    const auto backing = cloud::Configuration::localFile(cloudFolder.path() / "cloud.sqlite", "alice");
    auto inner = cloud::Container::make(backing);
    SubscribingDevice b(inner);
    ASSERT_TRUE(b.guid());
    StoredFeeds store;
    const auto feeds = store.make({{"https://News.example/feed/", true}});
    b.once([&](auto done) { b.notifications->updateNewArticleSubscription(feeds, done); });
    b.once([&](auto done) { b.notifications->subscribeSyncUpdates(done); });
    PushInbox inbox;
    inbox.listen(*inner);

    test::OutsideWriter writer(backing);
    writer.save({test::OutsideWriter::article("a1", "https://news.example/feed", "Rain tomorrow",
                                              std::chrono::system_clock::now())});
    const auto article = inbox.waitFor(Manager::newArticleID);
    ASSERT_TRUE(article);
    EXPECT_EQ(article->alertTitle, "Rain tomorrow");
    EXPECT_EQ(article->alertBody, "Feed https://news.example/feed");
    EXPECT_EQ(article->soundName, "default");
    EXPECT_EQ(article->recordFields.at("link"), cloud::FieldValue(std::string("https://example.org/a1")));

    auto a = cloud::Container::make(backing);
    cloud::Record sync("sync", cloud::RecordID("sync_info"));
    sync.set("unread_articles_hashes", std::vector<std::int64_t>{1, 2});
    test::cloudcalls::saveOne(*a->privateDatabase(), sync);
    const auto pushed = inbox.waitFor(Manager::syncUpdateID);
    ASSERT_TRUE(pushed);
    EXPECT_FALSE(pushed->contentAvailable);
    inner->stopPushDelivery();
}

}  // namespace
}  // namespace tallowmere
