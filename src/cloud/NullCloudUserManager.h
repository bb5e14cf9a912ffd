#pragma once

#include <memory>

#include "cloud/CloudUserManager.h"

namespace tallowmere {

// The user manager of a program without cloud: signed out, no record, no
// GUID, no feed marked for notification or newsletter, and every completion
// at once on a background queue. It must answer: callers hold resources
// until it does.
class NullCloudUserManager final : public CloudUserManager {
public:
    NullCloudUserManager();

    void feedNotificationSettings(const std::string& url, NotificationSettingsCompletion completion) override;
    void addFeed(std::vector<CloudFeedEntry> entries, Completion completion) override;
    void saveUserFeeds(Completion completion) override;
    void saveNotificationFeedLists(std::optional<cloud::Date> newsletterDailyDate, Completion completion) override;
    void saveAllFeedLists(Completion completion) override;
    void fetchCloudFeeds(Completion completion) override;
    void syncFeeds(Completion completion) override;
    void checkCloudAvailability(AvailabilityCompletion completion) override;
    std::optional<bool> cloudAvailabilityReply() const override { return false; }
    std::optional<bool> isAuthenticated() const override { return false; }
    void fetchUserRecord(UserRecordCompletion completion) override;
    void getGUID(TextCompletion completion) override;
    void getEmail(TextCompletion completion) override;
    void setEmail(std::optional<std::string> email, SuccessCompletion completion) override;
    void getNewsletterDailyDate(DateCompletion completion) override;
    dispatch::SerialQueue& userRecordQueue() override { return *userRecordQueue_; }
    dispatch::SerialQueue& guidRecordQueue() override { return *guidRecordQueue_; }

private:
    std::unique_ptr<dispatch::SerialQueue> userRecordQueue_;
    std::unique_ptr<dispatch::SerialQueue> guidRecordQueue_;
};

}  // namespace tallowmere
