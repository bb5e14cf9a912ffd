#include "cloud/StatsManager.h"

#include "cloud/NullStatsManager.h"
#include "cloud/ServiceSlot.h"

namespace tallowmere {

namespace {
ServiceSlot<StatsManager>& slot() {
    static ServiceSlot<StatsManager> instance([] { return std::make_shared<NullStatsManager>(); });
    return instance;
}
}  // namespace

std::shared_ptr<StatsManager> StatsManager::shared() { return slot().get(); }

void StatsManager::setShared(std::shared_ptr<StatsManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
