#include "cloud/CloudUserManager.h"

#include "cloud/NullCloudUserManager.h"
#include "cloud/ServiceSlot.h"

namespace tallowmere {

namespace {
ServiceSlot<CloudUserManager>& slot() {
    static ServiceSlot<CloudUserManager> instance([] { return std::make_shared<NullCloudUserManager>(); });
    return instance;
}
}  // namespace

std::shared_ptr<CloudUserManager> CloudUserManager::shared() { return slot().get(); }

void CloudUserManager::setShared(std::shared_ptr<CloudUserManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
