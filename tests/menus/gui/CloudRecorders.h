#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cloud/BackgroundCompletion.h"
#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudUserManager.h"
#include "platform/graph/Context.h"
#include "support/ui/UiWait.h"

namespace tallowmere::test {

// What reached the cloud managers, in the order it arrived.
class CloudCallLog {
public:
    void add(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

// The new-article subscriptions asked for, logged as "subscribe <url> <url>…"
// (read from the feeds as they arrive), answered at once in the background.
class RecordingNotificationsManager final : public CloudNotificationsManager {
public:
    explicit RecordingNotificationsManager(std::shared_ptr<CloudCallLog> log) : log_(std::move(log)) {}

    void updateNewArticleSubscription(std::vector<Feed> feeds, Completion completion) override {
        std::string call = "subscribe";
        for (const Feed& feed : feeds) {
            std::string url = "?";
            if (graph::Context* context = feed.context()) context->performAndWait([&] { url = feed.url().value_or("?"); });
            call += " " + url;
        }
        log_->add(call);
        completeInBackground(std::move(completion));
    }
    void updateNewArticleSubscription(Completion completion) override {
        log_->add("subscribe notifying feeds");
        completeInBackground(std::move(completion));
    }
    void subscribeGUIDUpdates(const std::string&, Completion completion) override {
        completeInBackground(std::move(completion));
    }
    void subscribeSyncUpdates(Completion completion) override { completeInBackground(std::move(completion)); }
    void handleRemoteNotification(const UserInfo&, Completion completion) override {
        completeInBackground(std::move(completion));
    }
    std::map<std::string, nlohmann::json> userInfoForCloudKit(const UserInfo&) const override { return {}; }

private:
    std::shared_ptr<CloudCallLog> log_;
};

// A cloud user manager with the saves of the feed lists logged on their way
// to the manager it stands in front of ("save notification lists",
// "… with date", "save all lists").
class RecordingUserManager final : public CloudUserManager {
public:
    RecordingUserManager(std::shared_ptr<CloudUserManager> inner, std::shared_ptr<CloudCallLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}

    void saveNotificationFeedLists(std::optional<cloud::Date> date, Completion completion) override {
        log_->add(date ? "save notification lists with date" : "save notification lists");
        inner_->saveNotificationFeedLists(date, std::move(completion));
    }
    void saveAllFeedLists(Completion completion) override {
        log_->add("save all lists");
        inner_->saveAllFeedLists(std::move(completion));
    }

    void feedNotificationSettings(const std::string& url, NotificationSettingsCompletion completion) override {
        inner_->feedNotificationSettings(url, std::move(completion));
    }
    void addFeed(std::vector<CloudFeedEntry> entries, Completion completion) override {
        inner_->addFeed(std::move(entries), std::move(completion));
    }
    void saveUserFeeds(Completion completion) override { inner_->saveUserFeeds(std::move(completion)); }
    void syncFeeds(Completion completion) override { inner_->syncFeeds(std::move(completion)); }
    void fetchCloudFeeds(Completion completion) override { inner_->fetchCloudFeeds(std::move(completion)); }
    void checkCloudAvailability(AvailabilityCompletion completion) override {
        inner_->checkCloudAvailability(std::move(completion));
    }
    std::optional<bool> cloudAvailabilityReply() const override { return inner_->cloudAvailabilityReply(); }
    std::optional<bool> isAuthenticated() const override { return inner_->isAuthenticated(); }
    void fetchUserRecord(UserRecordCompletion completion) override { inner_->fetchUserRecord(std::move(completion)); }
    void getGUID(TextCompletion completion) override { inner_->getGUID(std::move(completion)); }
    void getEmail(TextCompletion completion) override { inner_->getEmail(std::move(completion)); }
    void setEmail(std::optional<std::string> email, SuccessCompletion completion) override {
        inner_->setEmail(std::move(email), std::move(completion));
    }
    void getNewsletterDailyDate(DateCompletion completion) override {
        inner_->getNewsletterDailyDate(std::move(completion));
    }
    dispatch::SerialQueue& userRecordQueue() override { return inner_->userRecordQueue(); }
    dispatch::SerialQueue& guidRecordQueue() override { return inner_->guidRecordQueue(); }

private:
    std::shared_ptr<CloudUserManager> inner_;
    std::shared_ptr<CloudCallLog> log_;
};

// Puts the recorders in front of the given user manager for one test, and
// the signed-out stand-ins back after it.
class RecordedCloud {
public:
    explicit RecordedCloud(std::shared_ptr<CloudUserManager> user)
        : log(std::make_shared<CloudCallLog>()),
          user(std::make_shared<RecordingUserManager>(std::move(user), log)) {
        CloudUserManager::setShared(this->user);
        CloudNotificationsManager::setShared(std::make_shared<RecordingNotificationsManager>(log));
    }
    ~RecordedCloud() {
        settle();
        // As in the program, a cloud manager outlives the work it queued:
        // its queues may still hold blocks that come back to it.
        static std::vector<std::shared_ptr<RecordingUserManager>> retired;
        retired.push_back(user);
        CloudUserManager::setShared(nullptr);
        CloudNotificationsManager::setShared(nullptr);
    }

    std::shared_ptr<CloudCallLog> log;
    std::shared_ptr<RecordingUserManager> user;

private:
    // The manager's queues may still be reading feeds of the main context;
    // its end joins them, so they finish first with the main loop running.
    void settle() {
        for (int round = 0; round < 3; ++round) {
            auto ran = std::make_shared<std::atomic<int>>(0);
            user->guidRecordQueue().async([ran] { ++*ran; });
            user->userRecordQueue().async([ran] { ++*ran; });
            waitUntil([&] { return ran->load() == 2; }, 30000);
        }
    }
};

}  // namespace tallowmere::test
