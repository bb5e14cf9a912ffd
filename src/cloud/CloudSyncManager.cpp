#include "cloud/CloudSyncManager.h"

#include "cloud/NullCloudSyncManager.h"
#include "cloud/ServiceSlot.h"

namespace tallowmere {

namespace {
ServiceSlot<CloudSyncManager>& slot() {
    // Never destroyed: the managers' queues and the cloud's threads may still be
    // at work while the process exits, and must not meet a destroyed manager.
    static auto* instance = new ServiceSlot<CloudSyncManager>([] { return std::make_shared<NullCloudSyncManager>(); });
    return *instance;
}
}  // namespace

std::shared_ptr<CloudSyncManager> CloudSyncManager::shared() { return slot().get(); }

void CloudSyncManager::setShared(std::shared_ptr<CloudSyncManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
