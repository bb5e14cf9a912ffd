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

}  // namespace tallowmere
