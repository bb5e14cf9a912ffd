#include "cloud/CloudUserManager.h"

#include "cloud/BackgroundCompletion.h"
#include "cloud/NullCloudUserManager.h"
#include "cloud/ServiceSlot.h"

namespace tallowmere {

namespace {
ServiceSlot<CloudUserManager>& slot() {
    static ServiceSlot<CloudUserManager> instance([] { return std::make_shared<NullCloudUserManager>(); });
    return instance;
}
}  // namespace

void CloudUserManager::saveNotificationFeedLists(std::optional<cloud::Date>, Completion completion) {
    completeInBackground(std::move(completion));
}

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
