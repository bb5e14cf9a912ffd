#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cloud/CloudManager.h"
#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudUserManager.h"
#include "platform/cloud/Database.h"
#include "platform/cloud/Subscription.h"
#include "platform/dispatch/SerialQueue.h"

namespace tallowmere {

class NodesSource;

// The three push subscriptions of this account over a container: new
// articles of the feeds marked for notification, the user's identity
// record and the sync record. Saving one replaces it on the server and
// clears subscriptions this program does not know.
class ContainerCloudNotificationsManager final : public CloudNotificationsManager, public CloudManager {
public:
    using UserSource = std::function<std::shared_ptr<CloudUserManager>()>;
    using NodesSourceGetter = std::function<std::shared_ptr<NodesSource>()>;
    using Setting = std::function<bool()>;

    static constexpr const char* newArticleID = "new_article";
    static constexpr const char* guidUpdateID = "guid_update";
    static constexpr const char* syncUpdateID = "sync_update";
    static constexpr const char* subscriptionQueueLabel = "cloud_notifications_manager_subscription_queue";

    // Empty sources take the process's container, user manager, node source
    // and "ShowNewArticleNotification" setting.
    explicit ContainerCloudNotificationsManager(ContainerSource container = {}, UserSource user = {},
                                                NodesSourceGetter nodes = {}, Setting showNewArticleNotification = {});

    // Reads the notifying feeds first; when they cannot be fetched the
    // completion runs at once and nothing is sent.
    void updateNewArticleSubscription(Completion completion) override;
    // Returns at once; the rebuild runs on the subscription queue.
    void updateNewArticleSubscription(std::vector<Feed> feeds, Completion completion) override;
    void subscribeGUIDUpdates(const std::string& guid, Completion completion) override;
    void subscribeSyncUpdates(Completion completion) override;

    // Puts the subscription (nothing: none) in place of the one of that ID
    // and deletes the IDs this program does not know, when the cloud may be
    // used. The completion runs once, after the last attempt.
    void saveSubscription(const std::string& id, std::optional<cloud::QuerySubscription> subscription,
                          std::shared_ptr<cloud::Database> database, Completion completion);

    static cloud::QuerySubscription newArticleSubscription(std::vector<std::string> feedURLs);
    static cloud::QuerySubscription guidUpdateSubscription(const std::string& guid);
    static cloud::QuerySubscription syncUpdateSubscription();
    // The normal form of each notifying feed's URL, read inside the first
    // feed's context; empty when there is none or it has no context.
    static std::vector<std::string> notifyingFeedURLs(const std::vector<Feed>& feeds);
    // Whether a save of `targetID` deletes the server's subscription `key`.
    static bool deletes(const std::string& key, const std::string& targetID,
                        const std::optional<cloud::QuerySubscription>& subscription);

private:
    void subscribeNewArticles(const std::vector<Feed>& feeds, Completion completion);
    void fetchAndModify(const std::string& id, const std::optional<cloud::QuerySubscription>& subscription,
                        const std::shared_ptr<cloud::Database>& database, Completion completion);

    UserSource user_;
    NodesSourceGetter nodes_;
    Setting showNewArticleNotification_;
    std::unique_ptr<dispatch::SerialQueue> subscriptionQueue_;
};

}  // namespace tallowmere
