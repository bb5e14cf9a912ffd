#include <condition_variable>
#include <future>

#include "CloudTestSupport.h"
#include "support/OutsideWriter.h"

namespace tallowmere::test {
namespace {

using cloud::ErrorCode;
using cloud::Notification;
using cloud::Predicate;
using cloud::QuerySubscription;
using cloud::Record;
using cloud::RecordID;

QuerySubscription newArticleSubscription(std::vector<std::string> feeds) {
    QuerySubscription subscription;
    subscription.subscriptionID = "new_article";
    subscription.recordType = "article";
    subscription.predicate = Predicate::in("feed_url", std::move(feeds));
    subscription.options = cloud::firesOnRecordCreation;
    auto& info = subscription.notificationInfo;
    info.titleLocalizationKey = "%@";
    info.titleLocalizationArgs = {"title"};
    info.alertLocalizationKey = "%@";
    info.alertLocalizationArgs = {"feed_title"};
    info.soundName = "default";
    info.category = "feed_article";
    info.desiredKeys = std::vector<std::string>{"link", "feed_url", "top_image_url"};
    return subscription;
}

QuerySubscription syncSubscription() {
    QuerySubscription subscription;
    subscription.subscriptionID = "sync_update";
    subscription.recordType = "sync";
    subscription.predicate = Predicate::recordIDEquals(RecordID("sync_info"));
    subscription.options = cloud::firesOnRecordCreation | cloud::firesOnRecordUpdate;
    return subscription;
}

std::vector<std::string> recordNames(const std::vector<Notification>& pushes) {
    std::vector<std::string> out;
    for (const auto& push : pushes) out.push_back(push.recordID.recordName);
    return out;
}

class PushContractTest : public CloudContractTest {};

TEST_P(PushContractTest, SubscriptionsAreSavedReplacedAndDeletedPerDatabase) {
    auto database = device()->publicDatabase();
    EXPECT_FALSE(cloudcalls::saveSubscriptions(*database, {newArticleSubscription({"a"})}));
    auto replacement = newArticleSubscription({"b", "c"});
    EXPECT_FALSE(cloudcalls::saveSubscriptions(*database, {replacement}));
    auto fetched = cloudcalls::subscriptions(*device()->publicDatabase());
    ASSERT_EQ(fetched.subscriptions.size(), 1u);
    EXPECT_EQ(fetched.subscriptions.at("new_article"), replacement);
    // Another database and another account see none of it.
    EXPECT_TRUE(cloudcalls::subscriptions(*device()->privateDatabase()).subscriptions.empty());
    EXPECT_TRUE(cloudcalls::subscriptions(*device("bob")->publicDatabase()).subscriptions.empty());

    EXPECT_FALSE(cloudcalls::saveSubscriptions(*database, {}, {"new_article", "unknown"}));
    EXPECT_TRUE(cloudcalls::subscriptions(*database).subscriptions.empty());
}

TEST_P(PushContractTest, APushReachesTheOtherDevicesButNotTheWriter) {
    auto writer = device();
    auto reader = device();
    PushInbox writerInbox;
    PushInbox readerInbox;
    writer->startPushDelivery(writerInbox.handler());
    reader->startPushDelivery(readerInbox.handler());
    ASSERT_FALSE(cloudcalls::saveSubscriptions(*writer->privateDatabase(), {syncSubscription()}));

    Record sync("sync", RecordID("sync_info"));
    sync.set("unread_articles_hashes", std::vector<std::int64_t>{7});
    cloudcalls::saveOne(*writer->privateDatabase(), sync);
    const auto received = readerInbox.waitFor(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].subscriptionID, "sync_update");
    EXPECT_EQ(received[0].databaseScope, cloud::DatabaseScope::privateScope);
    EXPECT_EQ(received[0].recordID, RecordID("sync_info"));

    // Pushes arrive in order: had the writer been told of its own save, that
    // push would come before this one.
    Record again = cloudcalls::fetch(*reader->privateDatabase(), {RecordID("sync_info")}).records.at(RecordID("sync_info"));
    again.set("unread_articles_hashes", std::vector<std::int64_t>{});
    cloudcalls::saveOne(*reader->privateDatabase(), again);
    EXPECT_EQ(writerInbox.waitFor(1).size(), 1u);
    EXPECT_EQ(readerInbox.waitFor(1).size(), 1u);
}

TEST_P(PushContractTest, CreateOnlySubscriptionsIgnoreUpdatesAndFillTheAlert) {
    auto reader = device();
    PushInbox inbox;
    reader->startPushDelivery(inbox.handler());
    ASSERT_FALSE(cloudcalls::saveSubscriptions(*reader->publicDatabase(), {newArticleSubscription({"feed/one"})}));

    OutsideWriter writer(configuration("outside"));
    auto first = OutsideWriter::article("first", "feed/one", "First title", microsecondDate(0));
    first.set("top_image_url", std::string("https://example.org/i.png"));
    auto saved = writer.save({first, OutsideWriter::article("elsewhere", "feed/two", "Other", microsecondDate(0))});
    saved.at(0).set("title", std::string("Changed"));
    writer.save({saved.at(0)});  // an update: no push
    writer.save({OutsideWriter::article("second", "feed/one", "Second title", microsecondDate(0))});

    const auto received = inbox.waitFor(2);
    ASSERT_EQ(recordNames(received), (std::vector<std::string>{"first", "second"}));
    const Notification& push = received[0];
    EXPECT_EQ(push.alertTitle, "First title");
    EXPECT_EQ(push.alertBody, "Feed feed/one");
    EXPECT_EQ(push.soundName, "default");
    EXPECT_EQ(push.category, "feed_article");
    EXPECT_EQ(push.recordFields.size(), 3u);
    EXPECT_EQ(std::get<std::string>(push.recordFields.at("top_image_url")), "https://example.org/i.png");
    EXPECT_EQ(push.recordFields.count("title"), 0u);
}

TEST_P(PushContractTest, PrivateSavesNeverPushToAnotherAccount) {
    auto alice = device("alice");
    auto bob = device("bob");
    auto bobsOther = device("bob");
    PushInbox bobInbox;
    bob->startPushDelivery(bobInbox.handler());
    ASSERT_FALSE(cloudcalls::saveSubscriptions(*bob->privateDatabase(), {syncSubscription()}));
    ASSERT_FALSE(cloudcalls::saveSubscriptions(*alice->privateDatabase(), {syncSubscription()}));

    cloudcalls::saveOne(*alice->privateDatabase(), Record("sync", RecordID("sync_info")));
    Record bobs("sync", RecordID("sync_info"));
    bobs.set("starred_articles_hashes", std::vector<std::int64_t>{1});
    cloudcalls::saveOne(*bobsOther->privateDatabase(), bobs);

    const auto received = bobInbox.waitFor(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].recordID, RecordID("sync_info"));
    // Fields are only those asked for: none here.
    EXPECT_TRUE(received[0].recordFields.empty());
}

TEST_P(PushContractTest, ASyncedValueReachesTheOtherDevicesObserver) {
    auto first = device();
    auto second = device();
    auto bob = device("bob");
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> keys;
    auto token = second->syncedStore()->addExternalChangeObserver([&](const defaults::SyncedStoreChange& change) {
        std::lock_guard lock(mutex);
        if (change.changedKeys) keys.insert(keys.end(), change.changedKeys->begin(), change.changedKeys->end());
        changed.notify_all();
    });

    first->syncedStore()->set("FeedsRefreshInterval", std::int64_t(30));
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return !keys.empty(); });
        EXPECT_EQ(keys, std::vector<std::string>{"FeedsRefreshInterval"});
    }
    EXPECT_EQ(second->syncedStore()->integer("FeedsRefreshInterval"), 30);
    EXPECT_FALSE(bob->syncedStore()->object("FeedsRefreshInterval"));
    // A device made later starts with the value.
    EXPECT_EQ(device()->syncedStore()->integer("FeedsRefreshInterval"), 30);

    first->syncedStore()->removeObject("FeedsRefreshInterval");
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return keys.size() >= 2; });
    }
    EXPECT_FALSE(second->syncedStore()->object("FeedsRefreshInterval"));
}

INSTANTIATE_TEST_SUITE_P(Backings, PushContractTest, ::testing::ValuesIn(cloudBackings()), backingName);

TEST(NoBackingTest, EveryOperationAnswersNotAuthenticated) {
    auto container = cloud::Container::make(cloud::Configuration::none());
    for (auto database : {container->publicDatabase(), container->privateDatabase()}) {
        const auto caller = std::this_thread::get_id();
        const auto fetched = cloudcalls::fetch(*database, {RecordID("x")});
        EXPECT_NE(fetched.thread, caller);
        const std::optional<cloud::Error> errors[] = {
            fetched.error,
            cloudcalls::save(*database, {Record("sync", RecordID("x"))}).error,
            cloudcalls::query(*database, cloud::Query("sync")).error,
            cloudcalls::query(*database, cloud::Cursor("x")).error,
            cloudcalls::subscriptions(*database).error,
            cloudcalls::saveSubscriptions(*database, {syncSubscription()}),
            cloudcalls::userRecord(*container).error,
        };
        for (const auto& error : errors) {
            ASSERT_TRUE(error);
            EXPECT_EQ(error->code, ErrorCode::notAuthenticated);
        }
    }
    std::promise<cloud::AccountStatus> status;
    container->accountStatus([&](cloud::AccountStatus value, auto) { status.set_value(value); });
    EXPECT_EQ(status.get_future().get(), cloud::AccountStatus::noAccount);
    // The synced store keeps working on this device.
    container->syncedStore()->set("key", true);
    EXPECT_TRUE(container->syncedStore()->boolean("key"));
}

}  // namespace
}  // namespace tallowmere::test
