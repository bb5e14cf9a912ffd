#include "cloud/CloudNotificationsManager.h"

#include "cloud/NullCloudNotificationsManager.h"
#include "cloud/ServiceSlot.h"

namespace tallowmere {

namespace {
ServiceSlot<CloudNotificationsManager>& slot() {
    static ServiceSlot<CloudNotificationsManager> instance([] { return std::make_shared<NullCloudNotificationsManager>(); });
    return instance;
}
}  // namespace

std::shared_ptr<CloudNotificationsManager> CloudNotificationsManager::shared() { return slot().get(); }

void CloudNotificationsManager::setShared(std::shared_ptr<CloudNotificationsManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
