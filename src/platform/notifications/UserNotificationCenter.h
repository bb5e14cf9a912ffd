#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/notifications/UserNotification.h"

namespace tallowmere::notifications {

using NotificationID = std::uint32_t;

// The desktop's notifications: what is delivered, the user's clicks on it
// and its removal. Each delivery names who handles its click, so a click
// goes to the one that delivered that notification.
class UserNotificationCenter {
public:
    // Runs on the main thread when the user clicks the notification.
    using ActivationHandler = std::function<void(NotificationID id, const nlohmann::json& userInfo)>;
    // The ID the notification got, or nothing when it could not be shown.
    using DeliveryCompletion = std::function<void(std::optional<NotificationID> id)>;

    virtual ~UserNotificationCenter() = default;

    // Any thread; returns at once. The completion, when given, runs once on
    // the main thread.
    virtual void deliver(UserNotification notification, ActivationHandler onActivation,
                         DeliveryCompletion completion = {}) = 0;
    // Takes the notification off the desktop; an ID no longer shown: nothing.
    virtual void remove(NotificationID id) = 0;

    // The process's centre; until the desktop's is put in place, one that
    // shows nothing.
    static std::shared_ptr<UserNotificationCenter> shared();
    static void setShared(std::shared_ptr<UserNotificationCenter> center);
};

}  // namespace tallowmere::notifications
