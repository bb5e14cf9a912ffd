#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/SerialQueue.h"
#include "store/NewsletterType.h"

namespace tallowmere {

// One entry of the user's cloud feed list: a feed URL and, for a feed in a
// folder, the folder's name.
struct CloudFeedEntry {
    std::string urlString;
    std::optional<std::string> folder;
};

// The user's cloud identity record: feed lists, push and newsletter choices
// and the sign-in state. Every completion runs exactly once, on a background
// thread.
class CloudUserManager {
public:
    using Completion = std::function<void()>;
    using NotificationSettingsCompletion = std::function<void(bool notify, NewsletterType newsletter)>;
    // Nothing while the sign-in state is not known.
    using AvailabilityCompletion = std::function<void(std::optional<bool> available)>;

    static constexpr const char* userRecordQueueLabel = "cloud_user_manager_user_record_queue";
    static constexpr const char* guidRecordQueueLabel = "cloud_user_manager_guid_record_queue";

    virtual ~CloudUserManager() = default;

    // Whether the URL stands in the record's push-feed list, and in which
    // newsletter list.
    virtual void feedNotificationSettings(const std::string& url, NotificationSettingsCompletion completion) = 0;
    // Adds the entries to the record's feed list and saves it.
    virtual void addFeed(std::vector<CloudFeedEntry> entries, Completion completion) = 0;
    // Rewrites the record's feed list from the local feeds. The completion may be empty.
    virtual void saveUserFeeds(Completion completion) = 0;
    // Saves the feed list with the push-feed and newsletter lists of the local feeds.
    virtual void saveAllFeedLists(Completion completion) = 0;
    // Nothing (state unknown), false (signed out) or the cloudEnabled setting.
    virtual void checkCloudAvailability(AvailabilityCompletion completion) = 0;
    // Nothing while the sign-in state is not known.
    virtual std::optional<bool> isAuthenticated() const = 0;

    // Serial queues on which callers put work that must wait for the user
    // record: the manager holds them until the record is known.
    virtual dispatch::SerialQueue& userRecordQueue() = 0;
    virtual dispatch::SerialQueue& guidRecordQueue() = 0;

    // A signed-out stand-in until the cloud service replaces it.
    static std::shared_ptr<CloudUserManager> shared();
    static void setShared(std::shared_ptr<CloudUserManager> manager);
};

}  // namespace tallowmere
