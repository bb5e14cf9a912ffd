#pragma once

#include "platform/notifications/UserNotificationCenter.h"

namespace tallowmere::notifications {

// Without a desktop (tests, a program without display) nothing is shown and
// nothing is ever clicked.
class NullUserNotificationCenter final : public UserNotificationCenter {
public:
    void deliver(UserNotification notification, ActivationHandler onActivation,
                 DeliveryCompletion completion) override;
    void remove(NotificationID id) override;
};

}  // namespace tallowmere::notifications
