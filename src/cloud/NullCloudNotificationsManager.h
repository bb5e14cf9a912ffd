#pragma once

#include "cloud/CloudNotificationsManager.h"

namespace tallowmere {

// Without cloud there is no subscription to make or rebuild: those
// completions run at once, on a background queue. A push that comes all the
// same (a click on one shown earlier) goes to the push handler.
class NullCloudNotificationsManager final : public CloudNotificationsManager {
public:
    void updateNewArticleSubscription(Completion completion) override;
    void updateNewArticleSubscription(std::vector<Feed> feeds, Completion completion) override;
    void subscribeGUIDUpdates(const std::string& guid, Completion completion) override;
    void subscribeSyncUpdates(Completion completion) override;
};

}  // namespace tallowmere
