#include "cloud/CloudUserManager.h"

#include "cloud/NullCloudUserManager.h"
#include "cloud/ServiceSlot.h"

namespace tallowmere {

namespace {
ServiceSlot<CloudUserManager>& slot() {
    // Never destroyed: the managers' queues and the cloud's threads may still be
    // at work while the process exits, and must not meet a destroyed manager.
    static auto* instance = new ServiceSlot<CloudUserManager>([] { return std::make_shared<NullCloudUserManager>(); });
    return *instance;
}
}  // namespace

bool CloudUserManager::emailVerified() const {
    std::lock_guard lock(emailVerifiedMutex_);
    return emailVerified_;
}

void CloudUserManager::setEmailVerified(bool verified) {
    {
        std::lock_guard lock(emailVerifiedMutex_);
        emailVerified_ = verified;
    }
    emailVerifiedObservers_.notify(emailVerifiedKey);
}

defaults::ObserverToken CloudUserManager::observeEmailVerified(std::function<void()> callback) {
    return emailVerifiedObservers_.add(std::string(emailVerifiedKey), std::move(callback));
}

std::shared_ptr<CloudUserManager> CloudUserManager::shared() { return slot().get(); }

void CloudUserManager::setShared(std::shared_ptr<CloudUserManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
