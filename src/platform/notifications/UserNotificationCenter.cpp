#include "platform/notifications/UserNotificationCenter.h"

#include <mutex>

#include "platform/notifications/NullUserNotificationCenter.h"

namespace tallowmere::notifications {
namespace {

struct SharedCenter {
    std::mutex mutex;
    std::shared_ptr<UserNotificationCenter> center;
};

SharedCenter& sharedCenter() {
    static SharedCenter instance;
    return instance;
}

}  // namespace

std::shared_ptr<UserNotificationCenter> UserNotificationCenter::shared() {
    auto& shared = sharedCenter();
    std::lock_guard lock(shared.mutex);
    if (!shared.center) shared.center = std::make_shared<NullUserNotificationCenter>();
    return shared.center;
}

void UserNotificationCenter::setShared(std::shared_ptr<UserNotificationCenter> center) {
    auto& shared = sharedCenter();
    std::lock_guard lock(shared.mutex);
    shared.center = std::move(center);
}

}  // namespace tallowmere::notifications
