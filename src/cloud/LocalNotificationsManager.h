#pragma once

#include <memory>
#include <mutex>

#include "cloud/NotificationsManagerDelegate.h"

namespace tallowmere {

class Article;

// The desktop notifications of new articles when the cloud does not announce them.
class LocalNotificationsManager {
public:
    virtual ~LocalNotificationsManager() = default;

    // Raises one notification for the new article when the setting
    // "ShowNewArticleNotification" is on and its feed notifies. Reports nothing.
    virtual void notifyNewArticle(const Article& article) = 0;

    // Shown the article of a clicked notification.
    // The user clicked the notification of this article: the delegate shows it.
    void didActivateNotification(const Article& article);

    std::shared_ptr<NotificationsManagerDelegate> delegate() const;
    void setDelegate(std::weak_ptr<NotificationsManagerDelegate> delegate);

    static std::shared_ptr<LocalNotificationsManager> shared();
    static void setShared(std::shared_ptr<LocalNotificationsManager> manager);

private:
    mutable std::mutex delegateMutex_;
    std::weak_ptr<NotificationsManagerDelegate> delegate_;
};

}  // namespace tallowmere
