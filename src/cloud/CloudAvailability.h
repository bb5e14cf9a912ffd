#pragma once

#include <functional>
#include <memory>

#include "cloud/CloudUserManager.h"

namespace tallowmere {

// The one rule for whether cloud work may run. With the sign-in state known,
// only for a signed-in user with the cloud switch on, decided at once on the
// caller's thread. Not known yet: the decision waits on the user-record
// queue behind a fetch of the user record; if the state is still not known
// after it, `goOnWhenUnsettled` decides (the sync and the statistics go on,
// the identity-record work does not).
class CloudAvailability {
public:
    using Decision = std::function<void(bool mayRun)>;

    static void decide(const std::shared_ptr<CloudUserManager>& user, bool goOnWhenUnsettled, Decision decision);
};

}  // namespace tallowmere
