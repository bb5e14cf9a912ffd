#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cloud/CloudUserManager.h"
#include "cloud/NullCloudUserManager.h"

namespace tallowmere::test {

// The signed-out user manager, as a base for stand-ins that change one or
// two of its answers or count calls.
class SignedOutCloudUserManager : public CloudUserManager {
public:
    void feedNotificationSettings(const std::string& url, NotificationSettingsCompletion completion) override {
        signedOut_.feedNotificationSettings(url, std::move(completion));
    }
    void addFeed(std::vector<CloudFeedEntry> entries, Completion completion) override {
        signedOut_.addFeed(std::move(entries), std::move(completion));
    }
    void saveUserFeeds(Completion completion) override { signedOut_.saveUserFeeds(std::move(completion)); }
    void saveAllFeedLists(Completion completion) override { signedOut_.saveAllFeedLists(std::move(completion)); }
    void saveNotificationFeedLists(std::optional<cloud::Date> date, Completion completion) override {
        signedOut_.saveNotificationFeedLists(date, std::move(completion));
    }
    void fetchCloudFeeds(Completion completion) override { signedOut_.fetchCloudFeeds(std::move(completion)); }
    void checkCloudAvailability(AvailabilityCompletion completion) override {
        signedOut_.checkCloudAvailability(std::move(completion));
    }
    void syncFeeds(Completion completion) override { signedOut_.syncFeeds(std::move(completion)); }
    std::optional<bool> cloudAvailabilityReply() const override { return false; }
    std::optional<bool> isAuthenticated() const override { return false; }
    void fetchUserRecord(UserRecordCompletion completion) override { signedOut_.fetchUserRecord(std::move(completion)); }
    void getGUID(TextCompletion completion) override { signedOut_.getGUID(std::move(completion)); }
    void getEmail(TextCompletion completion) override { signedOut_.getEmail(std::move(completion)); }
    void setEmail(std::optional<std::string> email, SuccessCompletion completion) override {
        signedOut_.setEmail(std::move(email), std::move(completion));
    }
    void getNewsletterDailyDate(DateCompletion completion) override {
        signedOut_.getNewsletterDailyDate(std::move(completion));
    }
    dispatch::SerialQueue& userRecordQueue() override { return signedOut_.userRecordQueue(); }
    dispatch::SerialQueue& guidRecordQueue() override { return signedOut_.guidRecordQueue(); }

private:
    NullCloudUserManager signedOut_;
};

}  // namespace tallowmere::test
