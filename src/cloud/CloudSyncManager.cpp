#include "cloud/CloudSyncManager.h"

#include "cloud/NullCloudSyncManager.h"
#include "cloud/ServiceSlot.h"

namespace tallowmere {

namespace {
ServiceSlot<CloudSyncManager>& slot() {
    static ServiceSlot<CloudSyncManager> instance([] { return std::make_shared<NullCloudSyncManager>(); });
    return instance;
}
}  // namespace

std::shared_ptr<CloudSyncManager> CloudSyncManager::shared() { return slot().get(); }

void CloudSyncManager::setShared(std::shared_ptr<CloudSyncManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
