#include "platform/notifications/NullUserNotificationCenter.h"

#include "platform/dispatch/MainQueue.h"

namespace tallowmere::notifications {

void NullUserNotificationCenter::deliver(UserNotification, ActivationHandler, DeliveryCompletion completion) {
    if (!completion) return;
    dispatch::MainQueue::shared().async([completion = std::move(completion)] { completion(std::nullopt); });
}

void NullUserNotificationCenter::remove(NotificationID) {}

}  // namespace tallowmere::notifications
