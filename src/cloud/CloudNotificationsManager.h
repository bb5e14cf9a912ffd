#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cloud/CloudNotificationsManagerDelegate.h"
#include "store/Feed.h"

namespace tallowmere {

class Article;

// The cloud's push subscriptions (new articles, the sync record, the user's
// identity record) and the pushes they bring.
class CloudNotificationsManager {
public:
    using Completion = std::function<void()>;
    // What a push carries, as it arrives.
    using UserInfo = nlohmann::json;

    virtual ~CloudNotificationsManager() = default;

    // The same for the feeds marked for notification in the store, read first.
    virtual void updateNewArticleSubscription(Completion completion) = 0;
    // Rebuilds the new-article subscription for the URLs of the feeds marked
    // for notification; the completion runs exactly once, on a background thread.
    virtual void updateNewArticleSubscription(std::vector<Feed> feeds, Completion completion) = 0;
    // (Re)creates the subscription to changes of the user's identity record
    // named by the GUID; the completion runs exactly once, on a background thread.
    virtual void subscribeGUIDUpdates(const std::string& guid, Completion completion) = 0;
    // (Re)creates the subscription to changes of the sync record; likewise.
    virtual void subscribeSyncUpdates(Completion completion) = 0;
    // Handles one push by the subscription that raised it (through
    // CloudRemoteNotificationHandler). The completion may be empty; when
    // given it runs once, on a background thread, except for a push of no
    // known subscription, which is ignored.
    virtual void handleRemoteNotification(const UserInfo& userInfo, Completion completion);
    // The push's user info as the string-keyed dictionary a cloud
    // notification is read from (empty when it is not a dictionary).
    virtual std::map<std::string, nlohmann::json> userInfoForCloudKit(const UserInfo& userInfo) const;

    // The user clicked the notification of this article: the delegate shows it.
    void didActivateNotification(const Article& article);

    std::shared_ptr<CloudNotificationsManagerDelegate> delegate() const;
    void setDelegate(std::weak_ptr<CloudNotificationsManagerDelegate> delegate);

    static std::shared_ptr<CloudNotificationsManager> shared();
    static void setShared(std::shared_ptr<CloudNotificationsManager> manager);

private:
    mutable std::mutex delegateMutex_;
    std::weak_ptr<CloudNotificationsManagerDelegate> delegate_;
};

}  // namespace tallowmere
