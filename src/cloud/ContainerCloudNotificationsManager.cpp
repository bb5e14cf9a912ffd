#include "cloud/ContainerCloudNotificationsManager.h"

#include <utility>

#include "cloud/CloudAvailability.h"
#include "cloud/ContainerCloudSyncManager.h"
#include "cloud/ContainerCloudUserManager.h"
#include "foundation/DispatchQueueFactory.h"
#include "foundation/Logger.h"
#include "foundation/TextOperations.h"
#include "sources/NodesSource.h"
#include "store/Preferences.h"

namespace tallowmere {

namespace {

void complete(const CloudNotificationsManager::Completion& completion) {
    if (completion) completion();
}

bool isKnownSubscription(const std::string& id) {
    return id == ContainerCloudNotificationsManager::newArticleID ||
           id == ContainerCloudNotificationsManager::guidUpdateID ||
           id == ContainerCloudNotificationsManager::syncUpdateID;
}

}  // namespace

ContainerCloudNotificationsManager::ContainerCloudNotificationsManager(ContainerSource container, UserSource user,
                                                                       NodesSourceGetter nodes,
                                                                       Setting showNewArticleNotification)
    : CloudManager(std::move(container)),
      user_(user ? std::move(user) : UserSource([] { return CloudUserManager::shared(); })),
      nodes_(nodes ? std::move(nodes) : NodesSourceGetter([] { return NodesSource::shared(); })),
      showNewArticleNotification_(showNewArticleNotification
                                      ? std::move(showNewArticleNotification)
                                      : Setting([] { return Preferences::shared()->showNewArticleNotification(); })),
      subscriptionQueue_(makeDispatchQueue(subscriptionQueueLabel, QualityOfService::utility)) {}

// --- The three subscriptions ---

cloud::QuerySubscription ContainerCloudNotificationsManager::newArticleSubscription(std::vector<std::string> feedURLs) {
    cloud::QuerySubscription subscription;
    subscription.subscriptionID = newArticleID;
    subscription.recordType = "article";
    subscription.predicate = cloud::Predicate::in("feed_url", std::move(feedURLs));
    subscription.options = cloud::firesOnRecordCreation;
    cloud::NotificationInfo& info = subscription.notificationInfo;
    info.desiredKeys = std::vector<std::string>{"link", "feed_url", "top_image_url"};
    info.soundName = "default";
    info.category = "cloudkit";
    info.shouldSendContentAvailable = true;
    // The article's title as the alert's title, its feed's title as the body.
    info.titleLocalizationKey = "%@";
    info.titleLocalizationArgs = {"title"};
    info.alertLocalizationKey = "%@";
    info.alertLocalizationArgs = {"feed_title"};
    info.shouldSendMutableContent = true;
    return subscription;
}

cloud::QuerySubscription ContainerCloudNotificationsManager::guidUpdateSubscription(const std::string& guid) {
    cloud::QuerySubscription subscription;
    subscription.subscriptionID = guidUpdateID;
    subscription.recordType = ContainerCloudUserManager::guidRecordType;
    subscription.predicate = cloud::Predicate::equals(ContainerCloudUserManager::GUIDKey::guid, guid);
    subscription.options = cloud::firesOnRecordCreation | cloud::firesOnRecordUpdate;
    subscription.notificationInfo.desiredKeys =
        std::vector<std::string>{ContainerCloudUserManager::GUIDKey::guid, ContainerCloudUserManager::GUIDKey::verified};
    subscription.notificationInfo.shouldSendContentAvailable = true;
    return subscription;
}

cloud::QuerySubscription ContainerCloudNotificationsManager::syncUpdateSubscription() {
    cloud::QuerySubscription subscription;
    subscription.subscriptionID = syncUpdateID;
    subscription.recordType = ContainerCloudSyncManager::recordType;
    subscription.predicate = cloud::Predicate::recordIDEquals(cloud::RecordID(ContainerCloudSyncManager::recordName));
    subscription.options = cloud::firesOnRecordCreation | cloud::firesOnRecordUpdate;
    subscription.notificationInfo.shouldSendContentAvailable = false;
    return subscription;
}

std::vector<std::string> ContainerCloudNotificationsManager::notifyingFeedURLs(const std::vector<Feed>& feeds) {
    std::vector<std::string> urls;
    graph::Context* context = feeds.empty() ? nullptr : feeds.front().context();
    if (!context) return urls;
    context->performAndWait([&] {
        for (const Feed& feed : feeds) {
            if (!feed.notifyUpdates()) continue;
            if (const auto url = feed.url()) urls.push_back(lowercasedTrimmingSlashes(*url));
        }
    });
    return urls;
}

void ContainerCloudNotificationsManager::updateNewArticleSubscription(Completion completion) {
    std::optional<std::vector<Feed>> feeds = nodes_()->notifyingFeeds();
    if (!feeds) {
        complete(completion);
        return;
    }
    updateNewArticleSubscription(std::move(*feeds), std::move(completion));
}

void ContainerCloudNotificationsManager::updateNewArticleSubscription(std::vector<Feed> feeds, Completion completion) {
    subscriptionQueue_->async([this, feeds = std::move(feeds), completion = std::move(completion)] {
        subscribeNewArticles(feeds, completion);
    });
}

void ContainerCloudNotificationsManager::subscribeNewArticles(const std::vector<Feed>& feeds, Completion completion) {
    std::optional<cloud::QuerySubscription> subscription;
    // With the setting off the subscription goes: nothing is put in its place.
    if (showNewArticleNotification_()) subscription = newArticleSubscription(notifyingFeedURLs(feeds));
    saveSubscription(newArticleID, std::move(subscription), publicDB(), std::move(completion));
}

void ContainerCloudNotificationsManager::subscribeGUIDUpdates(const std::string& guid, Completion completion) {
    saveSubscription(guidUpdateID, guidUpdateSubscription(guid), publicDB(), std::move(completion));
}

void ContainerCloudNotificationsManager::subscribeSyncUpdates(Completion completion) {
    saveSubscription(syncUpdateID, syncUpdateSubscription(), privateDB(), std::move(completion));
}

// --- Saving ---

bool ContainerCloudNotificationsManager::deletes(const std::string& key, const std::string& targetID,
                                                 const std::optional<cloud::QuerySubscription>& subscription) {
    if (key == targetID && (!subscription || subscription->subscriptionID != targetID)) return true;
    return !isKnownSubscription(key);
}

void ContainerCloudNotificationsManager::saveSubscription(const std::string& id,
                                                          std::optional<cloud::QuerySubscription> subscription,
                                                          std::shared_ptr<cloud::Database> database,
                                                          Completion completion) {
    // With the sign-in state known this decides at once, on this thread. The
    // user manager relies on that: it subscribes while its user-record
    // queue is held by the fetch that settled the state.
    CloudAvailability::decide(user_(), false,
                              [this, id, subscription = std::move(subscription), database = std::move(database),
                               completion = std::move(completion)](bool mayRun) {
                                  if (!mayRun) {
                                      complete(completion);
                                      return;
                                  }
                                  fetchAndModify(id, subscription, database, completion);
                              });
}

void ContainerCloudNotificationsManager::fetchAndModify(const std::string& id,
                                                        const std::optional<cloud::QuerySubscription>& subscription,
                                                        const std::shared_ptr<cloud::Database>& database,
                                                        Completion completion) {
    database->fetchAllSubscriptions([this, id, subscription, database, completion](
                                        std::map<std::string, cloud::QuerySubscription> existing,
                                        std::optional<cloud::Error> error) {
        if (error) {
            Logger::error([&] { return "fetchSubscriptions error: " + error->textualDescription(); });
            complete(completion);
            return;
        }
        std::vector<std::string> toDelete;
        for (const auto& [key, unused] : existing) {
            if (deletes(key, id, subscription)) toDelete.push_back(key);
        }
        std::vector<cloud::QuerySubscription> toSave;
        if (subscription) toSave.push_back(*subscription);
        database->modifySubscriptions(
            std::move(toSave), std::move(toDelete),
            [this, id, subscription, database, completion](auto, auto, std::optional<cloud::Error> error) {
                const bool retrying = handleError(error, [this, id, subscription, database, completion] {
                    saveSubscription(id, subscription, database, completion);
                });
                if (!retrying) complete(completion);
            });
    });
}

}  // namespace tallowmere
