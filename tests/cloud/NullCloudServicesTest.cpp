#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cloud/CloudArticle.h"
#include "cloud/CloudFeedsType.h"
#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudSyncManager.h"
#include "cloud/CloudUserManager.h"
#include "cloud/LocalNotificationsManager.h"
#include "cloud/NullCloudNotificationsManager.h"
#include "cloud/NullCloudUserManager.h"

namespace tallowmere {
namespace {

// Counts the calls of a completion and lets the test wait for the first.
class CallRecorder {
public:
    void record() {
        std::lock_guard lock(mutex_);
        ++calls_;
        thread_ = std::this_thread::get_id();
        changed_.notify_all();
    }
    int waitForCall() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5), [&] { return calls_ > 0; });
        return calls_;
    }
    int calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::thread::id thread() {
        std::lock_guard lock(mutex_);
        return thread_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int calls_ = 0;
    std::thread::id thread_;
};

TEST(NullCloudUserManager, IsSignedOutAndAnswersEveryCallOnceInTheBackground) {
    NullCloudUserManager manager;
    EXPECT_EQ(manager.isAuthenticated(), std::optional<bool>(false));

    CallRecorder settings;
    bool notify = true;
    NewsletterType newsletter = NewsletterType::daily;
    manager.feedNotificationSettings("https://example.com/feed", [&](bool n, NewsletterType type) {
        notify = n;
        newsletter = type;
        settings.record();
    });
    EXPECT_EQ(settings.waitForCall(), 1);
    EXPECT_NE(settings.thread(), std::this_thread::get_id());
    EXPECT_FALSE(notify);
    EXPECT_EQ(newsletter, NewsletterType::none);

    CallRecorder availability;
    std::optional<bool> available = true;
    manager.checkCloudAvailability([&](std::optional<bool> answer) {
        available = answer;
        availability.record();
    });
    EXPECT_EQ(availability.waitForCall(), 1);
    EXPECT_EQ(available, std::optional<bool>(false));

    CallRecorder added, saved, savedAll;
    manager.addFeed({{"https://example.com/feed", std::nullopt}, {"https://example.org/rss", "News"}},
                    [&] { added.record(); });
    manager.saveUserFeeds([&] { saved.record(); });
    manager.saveAllFeedLists([&] { savedAll.record(); });
    EXPECT_EQ(added.waitForCall(), 1);
    EXPECT_EQ(saved.waitForCall(), 1);
    EXPECT_EQ(savedAll.waitForCall(), 1);
    manager.saveUserFeeds({});  // an empty completion is allowed
}

TEST(NullCloudUserManager, HasNoUserRecordGUIDOrAddress) {
    NullCloudUserManager manager;
    CallRecorder record, guid, email, written, daily, synced;
    bool hadRecord = true, wrote = true;
    std::optional<std::string> guidText = "x", emailText = "x";
    manager.userRecordQueue().async([&] {
        manager.fetchUserRecord([&](auto found, auto info, auto error) {
            hadRecord = found.has_value() || info.has_value() || error.has_value();
            record.record();
        });
    });
    manager.getGUID([&](auto text) { guidText = text; guid.record(); });
    manager.getEmail([&](auto text) { emailText = text; email.record(); });
    manager.setEmail("reader@example.com", [&](bool succeeded) { wrote = succeeded; written.record(); });
    manager.getNewsletterDailyDate([&](auto) { daily.record(); });
    manager.syncFeeds([&] { synced.record(); });
    for (auto* recorder : {&record, &guid, &email, &written, &daily, &synced}) {
        EXPECT_EQ(recorder->waitForCall(), 1);
        EXPECT_NE(recorder->thread(), std::this_thread::get_id());
    }
    EXPECT_FALSE(hadRecord);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(guidText, std::nullopt);
    EXPECT_EQ(emailText, std::nullopt);
    EXPECT_EQ(manager.cloudAvailabilityReply(), false);

    // The verified flag is observable on every manager.
    int told = 0;
    auto token = manager.observeEmailVerified([&] { ++told; });
    manager.setEmailVerified(true);
    EXPECT_TRUE(manager.emailVerified());
    EXPECT_EQ(told, 1);
}

class ArticleShower final : public CloudNotificationsManagerDelegate {
public:
    void showArticle(const Article&) override {}
    void userRecordDidChange() override {}
};

TEST(NullCloudNotificationsManager, AnswersAtOnceAndHoldsItsDelegateWeakly) {
    NullCloudNotificationsManager manager;
    CallRecorder guid, sync, push;
    manager.subscribeGUIDUpdates("GUID", [&] { guid.record(); });
    manager.subscribeSyncUpdates([&] { sync.record(); });
    // A push still comes to the push handler, which downloads through the
    // signed-out sync manager; one of no subscription is ignored.
    manager.handleRemoteNotification(nlohmann::json{{"subscriptionID", "sync_update"}}, [&] { push.record(); });
    manager.handleRemoteNotification(nlohmann::json::object(), {});
    for (auto* recorder : {&guid, &sync, &push}) {
        EXPECT_EQ(recorder->waitForCall(), 1);
        EXPECT_NE(recorder->thread(), std::this_thread::get_id());
    }
    const auto dictionary = manager.userInfoForCloudKit(nlohmann::json{{"aps", {{"alert", "x"}}}, {"n", 1}});
    EXPECT_EQ(dictionary.size(), 2u);
    EXPECT_EQ(dictionary.at("n"), 1);
    EXPECT_TRUE(manager.userInfoForCloudKit(nlohmann::json::array({1, 2})).empty());

    auto delegate = std::make_shared<ArticleShower>();
    manager.setDelegate(delegate);
    EXPECT_EQ(manager.delegate(), delegate);
    delegate.reset();
    EXPECT_EQ(manager.delegate(), nullptr);

    auto local = LocalNotificationsManager::shared();
    auto shower = std::make_shared<ArticleShower>();
    local->setDelegate(shower);
    EXPECT_EQ(local->delegate(), shower);
    local->setDelegate({});
}

TEST(NullCloudUserManager, UserRecordQueuesAreLabelledSerialQueues) {
    NullCloudUserManager manager;
    EXPECT_EQ(manager.userRecordQueue().label(), "cloud_user_manager_user_record_queue");
    EXPECT_EQ(manager.guidRecordQueue().label(), "cloud_user_manager_guid_record_queue");
    EXPECT_EQ(manager.userRecordQueue().qos(), dispatch::QualityOfService::userInitiated);
    std::string ranOn;
    manager.userRecordQueue().sync([&] { ranOn = std::string(dispatch::currentQueueLabel()); });
    EXPECT_EQ(ranOn, "cloud_user_manager_user_record_queue");
}

TEST(CloudServices, SharedInstancesDefaultToStandInsAndCanBeReplaced) {
    auto original = CloudUserManager::shared();
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(original->isAuthenticated(), std::optional<bool>(false));
    EXPECT_EQ(CloudUserManager::shared(), original);

    auto replacement = std::make_shared<NullCloudUserManager>();
    CloudUserManager::setShared(replacement);
    EXPECT_EQ(CloudUserManager::shared(), replacement);
    CloudUserManager::setShared(nullptr);
    EXPECT_NE(CloudUserManager::shared(), nullptr);

    CallRecorder uploaded, fetched, subscribed;
    CloudSyncManager::shared()->uploadSyncInfo(false, [&] { uploaded.record(); });
    CloudSyncManager::shared()->downloadSyncInfo([&] { fetched.record(); });
    CloudNotificationsManager::shared()->updateNewArticleSubscription({}, [&] { subscribed.record(); });
    EXPECT_EQ(uploaded.waitForCall(), 1);
    EXPECT_EQ(fetched.waitForCall(), 1);
    EXPECT_EQ(subscribed.waitForCall(), 1);
}

TEST(CloudFeedsType, RawValues) {
    EXPECT_EQ(rawValue(CloudFeedsType::user), 0);
    EXPECT_EQ(rawValue(CloudFeedsType::push), 1);
    EXPECT_EQ(rawValue(CloudFeedsType::newsletterHourly), 2);
    EXPECT_EQ(rawValue(CloudFeedsType::newsletterDaily), 3);
    EXPECT_EQ(cloudFeedsTypeFromRaw(3), CloudFeedsType::newsletterDaily);
    EXPECT_EQ(cloudFeedsTypeFromRaw(4), std::nullopt);
    EXPECT_EQ(cloudFeedsTypeFromRaw(-1), std::nullopt);
}

TEST(CloudArticle, CarriesItsFeed) {
    CloudArticle article("Title", RemoteArticle::Date{}, "Body", std::nullopt, "https://example.com/a",
                         "https://example.com/a.png", std::set<std::string>{"x"}, "https://example.com/feed",
                         "Example");
    const RemoteArticle& remote = article;
    EXPECT_EQ(remote.link(), "https://example.com/a");
    EXPECT_EQ(remote.topImageURL(), "https://example.com/a.png");
    EXPECT_EQ(article.feedURL(), "https://example.com/feed");
    EXPECT_EQ(article.feedTitle(), "Example");
}

}  // namespace
}  // namespace tallowmere
