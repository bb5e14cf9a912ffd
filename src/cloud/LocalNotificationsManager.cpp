#include "cloud/LocalNotificationsManager.h"

#include "cloud/NullLocalNotificationsManager.h"
#include "cloud/ServiceSlot.h"
#include "store/Article.h"

namespace tallowmere {

namespace {
ServiceSlot<LocalNotificationsManager>& slot() {
    static ServiceSlot<LocalNotificationsManager> instance([] { return std::make_shared<NullLocalNotificationsManager>(); });
    return instance;
}
}  // namespace

void LocalNotificationsManager::didActivateNotification(const Article& article) {
    if (auto receiver = delegate()) receiver->showArticle(article);
}

std::shared_ptr<NotificationsManagerDelegate> LocalNotificationsManager::delegate() const {
    std::lock_guard lock(delegateMutex_);
    return delegate_.lock();
}

void LocalNotificationsManager::setDelegate(std::weak_ptr<NotificationsManagerDelegate> delegate) {
    std::lock_guard lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<LocalNotificationsManager> LocalNotificationsManager::shared() { return slot().get(); }

void LocalNotificationsManager::setShared(std::shared_ptr<LocalNotificationsManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
