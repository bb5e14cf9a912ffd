#include "window/InterimPreferencesHost.h"

#include "foundation/Logger.h"

namespace tallowmere {

void InterimPreferencesHost::showWindow() {
    Logger::warning([] { return "this build has no preferences window"; });
}

}  // namespace tallowmere
