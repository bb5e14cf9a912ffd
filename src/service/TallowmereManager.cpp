#include "service/TallowmereManager.h"

#include "cloud/ServiceSlot.h"
#include "foundation/Logger.h"
#include "platform/defaults/UserDefaults.h"
#include "service/NullTallowmereManager.h"
#include "service/TallowmereRouter.h"
#include "service/WebTallowmereManager.h"

namespace tallowmere {

namespace {
ServiceSlot<TallowmereManager>& slot() {
    static ServiceSlot<TallowmereManager> instance([] { return std::make_shared<NullTallowmereManager>(); });
    return instance;
}
}  // namespace

std::shared_ptr<TallowmereManager> TallowmereManager::shared() { return slot().get(); }

void TallowmereManager::setShared(std::shared_ptr<TallowmereManager> manager) { slot().set(std::move(manager)); }

bool TallowmereManager::installFromSettings(const defaults::UserDefaults& settings, WebService& webService) {
    const std::optional<std::string> setting = settings.string(backendURLKey);
    if (!setting) return false;
    const TallowmereRouter::BaseURLCheck checked = TallowmereRouter::checkBaseURL(*setting);
    if (!checked.baseURL) {
        Logger::warning([&] {
            return std::string(backendURLKey) + " \"" + *setting + "\" is not used (" + checked.problem +
                   "); working without the backend";
        });
        return false;
    }
    setShared(std::make_shared<WebTallowmereManager>(*checked.baseURL, webService));
    return true;
}

}  // namespace tallowmere
