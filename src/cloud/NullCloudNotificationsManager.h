#pragma once

#include "cloud/CloudNotificationsManager.h"

namespace tallowmere {

// Without cloud there is no subscription to rebuild: the completion at once.
class NullCloudNotificationsManager final : public CloudNotificationsManager {
public:
    void updateNewArticleSubscription(std::vector<Feed> feeds, Completion completion) override;
};

}  // namespace tallowmere
