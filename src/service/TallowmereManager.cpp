#include "service/TallowmereManager.h"

#include "cloud/ServiceSlot.h"
#include "service/NullTallowmereManager.h"

namespace tallowmere {

namespace {
ServiceSlot<TallowmereManager>& slot() {
    static ServiceSlot<TallowmereManager> instance([] { return std::make_shared<NullTallowmereManager>(); });
    return instance;
}
}  // namespace

std::shared_ptr<TallowmereManager> TallowmereManager::shared() { return slot().get(); }

void TallowmereManager::setShared(std::shared_ptr<TallowmereManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
