#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/cloud/Notification.h"
#include "store/Feed.h"

namespace tallowmere {

// The cloud's push subscription that announces new articles.
class CloudNotificationsManager {
public:
    using Completion = std::function<void()>;

    virtual ~CloudNotificationsManager() = default;

    // Rebuilds the new-article subscription for the URLs of the feeds marked
    // for notification; the completion runs exactly once, on a background thread.
    virtual void updateNewArticleSubscription(std::vector<Feed> feeds, Completion completion) = 0;
    // Acts on one push of the cloud's subscriptions; the completion, when
    // given, runs exactly once. Without a cloud service there is nothing to do.
    virtual void handleRemoteNotification(const cloud::Notification& notification, Completion completion) {
        (void)notification;
        if (completion) completion();
    }

    static std::shared_ptr<CloudNotificationsManager> shared();
    static void setShared(std::shared_ptr<CloudNotificationsManager> manager);
};

}  // namespace tallowmere
