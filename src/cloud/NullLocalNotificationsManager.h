#pragma once

#include "cloud/LocalNotificationsManager.h"

namespace tallowmere {

// Raises nothing, until the notification service exists.
class NullLocalNotificationsManager final : public LocalNotificationsManager {
public:
    void notifyNewArticle(const Article& article) override;
};

}  // namespace tallowmere
