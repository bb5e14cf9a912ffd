#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/Error.h"
#include "platform/cloud/FieldValue.h"
#include "platform/cloud/Record.h"
#include "platform/defaults/ObserverList.h"
#include "platform/defaults/ObserverToken.h"
#include "platform/dispatch/SerialQueue.h"
#include "store/NewsletterType.h"

namespace tallowmere {

// One entry of the user's cloud feed list: a feed URL and, for a feed in a
// folder, the folder's name.
struct CloudFeedEntry {
    std::string urlString;
    std::optional<std::string> folder;
};

// The values of the user's own cloud record.
struct UserInfo {
    std::optional<std::string> guid;
    std::optional<std::string> email;

    bool operator==(const UserInfo&) const = default;
};

// The cloud user: whether one is signed in, the GUID and e-mail address kept
// in the user's record, the identity record with the feed lists and the
// newsletter choices. Every completion runs exactly once, on a background
// thread.
class CloudUserManager {
public:
    using Completion = std::function<void()>;
    using NotificationSettingsCompletion = std::function<void(bool notify, NewsletterType newsletter)>;
    // Nothing while the sign-in state is not known.
    using AvailabilityCompletion = std::function<void(std::optional<bool> available)>;
    using UserRecordCompletion = std::function<void(std::optional<cloud::Record> record,
                                                    std::optional<UserInfo> userInfo,
                                                    std::optional<cloud::Error> error)>;
    using TextCompletion = std::function<void(std::optional<std::string> text)>;
    using SuccessCompletion = std::function<void(bool succeeded)>;
    using DateCompletion = std::function<void(std::optional<cloud::Date> date)>;

    static constexpr const char* userRecordQueueLabel = "cloud_user_manager_user_record_queue";
    static constexpr const char* guidRecordQueueLabel = "cloud_user_manager_guid_record_queue";
    static constexpr const char* emailVerifiedKey = "emailVerified";

    virtual ~CloudUserManager() = default;

    // Whether the URL stands in the record's push-feed list, and in which
    // newsletter list.
    virtual void feedNotificationSettings(const std::string& url, NotificationSettingsCompletion completion) = 0;
    // Adds the entries to the record's feed list and saves it.
    virtual void addFeed(std::vector<CloudFeedEntry> entries, Completion completion) = 0;
    // Rewrites the record's feed list from the local feeds. The completion may be empty.
    virtual void saveUserFeeds(Completion completion) = 0;
    // Saves the push-feed and newsletter lists of the local feeds and, when
    // a time is given, the daily newsletter's time of day. The completion may
    // be empty. This body keeps nothing (signed out) and completes at once.
    virtual void saveNotificationFeedLists(std::optional<cloud::Date> newsletterDailyDate, Completion completion);
    // Saves the feed list with the push-feed and newsletter lists of the local feeds.
    virtual void saveAllFeedLists(Completion completion) = 0;
    // Brings the local feeds in line with the record's feed list.
    virtual void syncFeeds(Completion completion) = 0;
    // Nothing (state unknown), false (signed out) or the cloudEnabled setting.
    // With the sign-in state known the answer may come at once, on the
    // caller's thread; otherwise after a fetch of the user record.
    virtual void checkCloudAvailability(AvailabilityCompletion completion) = 0;
    // The same answer as it stands now, without fetching anything.
    virtual std::optional<bool> cloudAvailabilityReply() const = 0;
    // Nothing while the sign-in state is not known.
    virtual std::optional<bool> isAuthenticated() const = 0;

    // The user's record, fetched once (or the cached one). Must run on the
    // user-record queue, which it holds until the fetch has ended.
    virtual void fetchUserRecord(UserRecordCompletion completion) = 0;
    virtual void getGUID(TextCompletion completion) = 0;
    virtual void getEmail(TextCompletion completion) = 0;
    // Writes (or, with nothing, removes) the address in the user's record;
    // false when it could not be written.
    virtual void setEmail(std::optional<std::string> email, SuccessCompletion completion) = 0;
    // The daily newsletter's time of day, as stored in the identity record.
    virtual void getNewsletterDailyDate(DateCompletion completion) = 0;

    // Serial queues on which callers put work that must wait for the user
    // record: the manager holds them until the record is known.
    virtual dispatch::SerialQueue& userRecordQueue() = 0;
    virtual dispatch::SerialQueue& guidRecordQueue() = 0;

    // Whether the newsletter address is verified; observers hear of every
    // assignment, on the assigning thread.
    bool emailVerified() const;
    void setEmailVerified(bool verified);
    defaults::ObserverToken observeEmailVerified(std::function<void()> callback);

    // A signed-out stand-in until the cloud service replaces it.
    static std::shared_ptr<CloudUserManager> shared();
    static void setShared(std::shared_ptr<CloudUserManager> manager);

private:
    mutable std::mutex emailVerifiedMutex_;
    bool emailVerified_ = false;
    defaults::ObserverList<> emailVerifiedObservers_;
};

}  // namespace tallowmere
