#include "cloud/CloudManagers.h"

#include <memory>

#include "cloud/ContainerCloudFeedsManager.h"
#include "cloud/ContainerCloudNotificationsManager.h"
#include "cloud/ContainerCloudSyncManager.h"
#include "cloud/ContainerCloudUserManager.h"
#include "cloud/ContainerStatsManager.h"

namespace tallowmere {

void CloudManagers::installShared() {
    // First: the user manager and the sync manager subscribe through it.
    CloudNotificationsManager::setShared(std::make_shared<ContainerCloudNotificationsManager>());
    CloudUserManager::setShared(std::make_shared<ContainerCloudUserManager>());
    CloudSyncManager::setShared(std::make_shared<ContainerCloudSyncManager>());
    StatsManager::setShared(std::make_shared<ContainerStatsManager>());
    CloudFeedsManager::setShared(std::make_shared<ContainerCloudFeedsManager>());
}

}  // namespace tallowmere
