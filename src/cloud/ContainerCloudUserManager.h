#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cloud/CloudFeedsType.h"
#include "cloud/CloudManager.h"
#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudUserError.h"
#include "cloud/CloudUserManager.h"
#include "platform/dispatch/Semaphore.h"
#include "store/Feed.h"

namespace tallowmere {
class NodesSource;
class Preferences;
}  // namespace tallowmere

namespace tallowmere {

// What the identity record tells: the daily newsletter's time of day.
struct GUIDInfo {
    std::optional<cloud::Date> newsletterDailyDate;
};

// The cloud user over a container: the user's own record (GUID and e-mail
// address) and the public identity record named by the GUID.
class ContainerCloudUserManager final : public CloudUserManager,
                                        public CloudManager,
                                        public std::enable_shared_from_this<ContainerCloudUserManager> {
public:
    using CloudEnabled = std::function<bool()>;
    using NotificationsSource = std::function<std::shared_ptr<CloudNotificationsManager>()>;
    using GUIDRecordCompletion = std::function<void(std::optional<cloud::Record> record, std::optional<GUIDInfo> info,
                                                    std::optional<CloudUserFailure> failure)>;
    using SaveCompletion = std::function<void(std::optional<CloudUserFailure> failure)>;
    using FeedLists = std::vector<CloudFeedList>;
    using AddFeeds = std::function<void(std::vector<CloudFeedEntry> entries, Completion completion)>;

    // What the feed-list operations work with on this device.
    struct FeedListServices {
        std::function<std::shared_ptr<NodesSource>()> nodes;
        // Adds the entries through the feed engine's batch adder and runs its
        // after-batch step without writing the cloud feed list.
        AddFeeds addFeeds;
        // Where "GUIDSyncDate" is kept.
        std::function<std::shared_ptr<Preferences>()> preferences;
    };

    // A save that keeps meeting a record changed on the server gives up
    // after this many runs of the whole operation.
    static constexpr int maxFeedListRuns = 5;
    // A record reconciled by some device this recently is left alone.
    static constexpr std::chrono::seconds recentSyncInterval{5};
    // Whole days after which this device reconciles fully again.
    static constexpr long fullSyncDays = 7;

    static constexpr const char* userGUIDKey = "guid";
    static constexpr const char* userEmailKey = "email";
    static constexpr const char* guidRecordType = "guid";
    struct GUIDKey {
        static constexpr const char* guid = "guid";
        static constexpr const char* verified = "verified";
        static constexpr const char* feeds = "feeds";
        static constexpr const char* pushFeeds = "push_feeds";
        static constexpr const char* newsletterHourlyFeeds = "newsletter_hourly_feeds";
        static constexpr const char* newsletterDailyFeeds = "newsletter_daily_feeds";
        static constexpr const char* newsletterDailyHour = "newsletter_daily_hour";
        static constexpr const char* newsletterDailyMinute = "newsletter_daily_minute";
        static constexpr const char* newsletterDailyNextUpdate = "newsletter_daily_next_update";
        static constexpr const char* timezoneSecondsOffset = "timezone_seconds_offset";
        static constexpr const char* language = "language";
        static constexpr const char* region = "region";
        static constexpr const char* lastSync = "last_sync";
    };

    // Empty sources take the process's container, settings and notifications manager.
    ContainerCloudUserManager(ContainerSource container = {}, CloudEnabled cloudEnabled = {},
                              NotificationsSource notifications = {});

    void feedNotificationSettings(const std::string& url, NotificationSettingsCompletion completion) override;
    void addFeed(std::vector<CloudFeedEntry> entries, Completion completion) override;
    void saveUserFeeds(Completion completion) override;
    void saveNotificationFeedLists(std::optional<cloud::Date> newsletterDailyDate, Completion completion) override;
    void saveAllFeedLists(Completion completion) override;
    void syncFeeds(Completion completion) override;
    void fetchCloudFeeds(Completion completion) override;
    void checkCloudAvailability(AvailabilityCompletion completion) override;
    std::optional<bool> cloudAvailabilityReply() const override;
    std::optional<bool> isAuthenticated() const override;
    void fetchUserRecord(UserRecordCompletion completion) override;
    void getGUID(TextCompletion completion) override;
    void getEmail(TextCompletion completion) override;
    void setEmail(std::optional<std::string> email, SuccessCompletion completion) override;
    void getNewsletterDailyDate(DateCompletion completion) override;
    dispatch::SerialQueue& userRecordQueue() override { return *userRecordQueue_; }
    dispatch::SerialQueue& guidRecordQueue() override { return *guidRecordQueue_; }

    // The identity record, queried once and then cached; one query at a
    // time. Runs on the identity-record queue.
    void fetchGUIDRecord(GUIDRecordCompletion completion);
    // Saves the values on the fetched record, or on a new one named by the
    // GUID when the fetch found none.
    void makeGUIDRecord(std::optional<cloud::Record> fetched, std::optional<CloudUserFailure> fetchFailure,
                        const std::string& guid, std::optional<std::vector<CloudFeedList>> feedLists,
                        std::optional<cloud::Date> newsletterDailyDate, SaveCompletion completion);
    void saveGUIDRecord(cloud::Record record, std::optional<std::vector<CloudFeedList>> feedLists,
                        std::optional<cloud::Date> newsletterDailyDate, std::optional<cloud::Date> lastSync,
                        SaveCompletion completion);

    // The entry texts of the feeds, each read inside its own context; a feed
    // without context or URL gives none.
    static std::vector<std::string> feedListEntries(const std::vector<Feed>& feeds, bool withFolders);
    // The push, hourly and daily newsletter lists of the local feeds; empty
    // when any of them cannot be fetched.
    FeedLists notificationFeedLists();

    // Empty members keep the program's own services.
    void setFeedListServices(FeedListServices services);
    // Where new GUIDs come from (tests fix them).
    void setGUIDMaker(std::function<std::string()> maker);
    // The clock of the newsletter's next update (tests fix it).
    void setClock(std::function<cloud::Date()> clock);

private:
    static UserInfo readUserInfo(const std::optional<cloud::Record>& record);
    static const char* feedListKey(CloudFeedsType type);

    void finishUserFetch(std::optional<cloud::Error> error, const UserRecordCompletion& completion);
    void assignGUID(std::function<void()> finish);
    void writeUserRecord(cloud::Record record, std::string guid, std::optional<std::string> email,
                         SuccessCompletion completion);
    void queryGUIDRecord(std::optional<UserInfo> userInfo, std::optional<cloud::Error> userError,
                         GUIDRecordCompletion completion);
    void runGUIDQuery(const std::string& guid, GUIDRecordCompletion completion);
    void readGUIDRecord(const cloud::Record& record);
    void writeNewsletterTime(cloud::Record& record, cloud::Date date);
    void sendGUIDRecord(cloud::Record record, SaveCompletion completion);
    std::shared_ptr<CloudNotificationsManager> notifications() const;
    cloud::Date now() const;

    // Builds the lists to save from the fetched record; nothing saves nothing.
    using ListsBuilder = std::function<std::optional<FeedLists>(const std::optional<cloud::Record>& record)>;
    // The frame of every feed-list write: fetch, build, save (or create the
    // record), run again while the server's record keeps changing.
    void writeFeedLists(std::string operation, ListsBuilder build, std::optional<cloud::Date> newsletterDailyDate,
                        Completion completion, int run = 1);
    void createGUIDRecord(FeedLists lists, std::optional<cloud::Date> newsletterDailyDate, SaveCompletion completion);
    std::optional<FeedLists> allFeedLists(bool withNotificationLists);
    void reconcileIfDue(const cloud::Record& record, Completion completion);
    void reconcile(std::vector<CloudFeedEntry> cloudEntries, cloud::Date now, Completion completion);
    void replaceLocalFeeds(std::vector<CloudFeedEntry> cloudEntries, std::optional<cloud::Date> previousSync,
                           Completion completion);
    void finishReconciliation(std::vector<CloudFeedEntry> cloudEntries, std::vector<CloudFeedEntry> kept,
                              Completion completion);
    std::shared_ptr<NodesSource> nodes() const;
    std::shared_ptr<Preferences> preferences() const;

    CloudEnabled cloudEnabled_;
    NotificationsSource notifications_;
    FeedListServices feedListServices_;

    mutable std::mutex mutex_;  // the fields below are written from several threads
    std::optional<bool> isAuthenticated_;
    std::optional<cloud::Record> userRecord_;
    std::optional<cloud::Record> guidRecord_;
    std::optional<UserInfo> userInfo_;
    std::optional<GUIDInfo> guidInfo_;
    std::function<std::string()> makeGUID_;
    std::function<cloud::Date()> clock_;

    std::unique_ptr<dispatch::SerialQueue> userRecordQueue_;
    dispatch::Semaphore userRecordSemaphore_{0};
    std::unique_ptr<dispatch::SerialQueue> guidRecordQueue_;
    dispatch::Semaphore guidRecordSemaphore_{1};
};

}  // namespace tallowmere
