#include "cloud/CloudAvailability.h"

#include <utility>

namespace tallowmere {

void CloudAvailability::decide(const std::shared_ptr<CloudUserManager>& user, bool goOnWhenUnsettled,
                               Decision decision) {
    if (user->isAuthenticated()) {
        decision(user->cloudAvailabilityReply().value_or(false));
        return;
    }
    user->userRecordQueue().async([user, goOnWhenUnsettled, decision = std::move(decision)] {
        user->fetchUserRecord([user, goOnWhenUnsettled, decision](auto, auto, auto) {
            decision(user->cloudAvailabilityReply().value_or(goOnWhenUnsettled));
        });
    });
}

}  // namespace tallowmere
