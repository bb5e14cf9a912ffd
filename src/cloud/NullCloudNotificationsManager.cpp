#include "cloud/NullCloudNotificationsManager.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"
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

void NullCloudNotificationsManager::handleRemoteNotification(const UserInfo&, Completion completion) {
    completeInBackground(std::move(completion));
}

std::map<std::string, nlohmann::json> NullCloudNotificationsManager::userInfoForCloudKit(
    const UserInfo& userInfo) const {
    std::map<std::string, nlohmann::json> dictionary;
    if (!userInfo.is_object()) return dictionary;
    for (const auto& [key, value] : userInfo.items()) dictionary.emplace(key, value);
    return dictionary;
}

}  // namespace tallowmere
