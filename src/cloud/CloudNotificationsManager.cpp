#include "cloud/CloudNotificationsManager.h"

#include "cloud/CloudRemoteNotificationHandler.h"
#include "cloud/NullCloudNotificationsManager.h"
#include "cloud/ServiceSlot.h"
#include "store/Article.h"

namespace tallowmere {

namespace {
ServiceSlot<CloudNotificationsManager>& slot() {
    // Never destroyed: the managers' queues and the cloud's threads may still be
    // at work while the process exits, and must not meet a destroyed manager.
    static auto* instance = new ServiceSlot<CloudNotificationsManager>([] { return std::make_shared<NullCloudNotificationsManager>(); });
    return *instance;
}
}  // namespace

void CloudNotificationsManager::handleRemoteNotification(const UserInfo& userInfo, Completion completion) {
    CloudRemoteNotificationHandler::Completion handled;
    if (completion) handled = [completion = std::move(completion)](auto, auto) { completion(); };
    CloudRemoteNotificationHandler::shared()->handleRemoteNotification(userInfo, std::move(handled));
}

std::map<std::string, nlohmann::json> CloudNotificationsManager::userInfoForCloudKit(const UserInfo& userInfo) const {
    return CloudRemoteNotificationHandler::userInfoForCloudKit(userInfo);
}

void CloudNotificationsManager::didActivateNotification(const Article& article) {
    if (auto receiver = delegate()) receiver->showArticle(article);
}

std::shared_ptr<CloudNotificationsManagerDelegate> CloudNotificationsManager::delegate() const {
    std::lock_guard lock(delegateMutex_);
    return delegate_.lock();
}

void CloudNotificationsManager::setDelegate(std::weak_ptr<CloudNotificationsManagerDelegate> delegate) {
    std::lock_guard lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<CloudNotificationsManager> CloudNotificationsManager::shared() { return slot().get(); }

void CloudNotificationsManager::setShared(std::shared_ptr<CloudNotificationsManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
