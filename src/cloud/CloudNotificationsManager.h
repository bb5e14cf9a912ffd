#pragma once

#include <functional>
#include <memory>
#include <vector>

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

    static std::shared_ptr<CloudNotificationsManager> shared();
    static void setShared(std::shared_ptr<CloudNotificationsManager> manager);
};

}  // namespace tallowmere
