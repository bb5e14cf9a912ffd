#include "cloud/NullCloudNotificationsManager.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"
#include "cloud/CloudRemoteNotificationHandler.h"
#include "store/Feed.h"

namespace tallowmere {

void NullCloudNotificationsManager::updateNewArticleSubscription(Completion completion) {
    completeInBackground(std::move(completion));
}

void NullCloudNotificationsManager::updateNewArticleSubscription(std::vector<Feed>, Completion completion) {
    completeInBackground(std::move(completion));
}

void NullCloudNotificationsManager::subscribeGUIDUpdates(const std::string&, Completion completion) {
    completeInBackground(std::move(completion));
}

void NullCloudNotificationsManager::subscribeSyncUpdates(Completion completion) {
    completeInBackground(std::move(completion));
}

void NullCloudNotificationsManager::handleRemoteNotification(const UserInfo& userInfo, Completion completion) {
    CloudRemoteNotificationHandler::Completion handled;
    if (completion) handled = [completion = std::move(completion)](auto, auto) { completion(); };
    CloudRemoteNotificationHandler::shared()->handleRemoteNotification(userInfo, std::move(handled));
}

std::map<std::string, nlohmann::json> NullCloudNotificationsManager::userInfoForCloudKit(
    const UserInfo& userInfo) const {
    return CloudRemoteNotificationHandler::userInfoForCloudKit(userInfo);
}

}  // namespace tallowmere
