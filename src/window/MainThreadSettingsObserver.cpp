#include "window/MainThreadSettingsObserver.h"

#include <atomic>
#include <memory>

#include "platform/dispatch/MainQueue.h"

namespace tallowmere {

defaults::ObserverToken MainThreadSettingsObserver::observe(Preferences& preferences, const std::string& keyPath,
                                                            std::function<void(const std::string&)> callback) {
    // A change already on its way to the main thread is dropped once the
    // observer is cancelled: its callback may be gone by then.
    auto active = std::make_shared<std::atomic<bool>>(true);
    auto inner = std::make_shared<defaults::ObserverToken>(
        preferences.observe(keyPath, [callback = std::move(callback), active](const std::string& changed) {
            auto& main = dispatch::MainQueue::shared();
            if (main.isCurrent()) {
                if (active->load()) callback(changed);
                return;
            }
            main.async([callback, changed, active] {
                if (active->load()) callback(changed);
            });
        }));
    if (!inner->isActive()) return {};
    return defaults::ObserverToken([inner, active] {
        active->store(false);
        inner->cancel();
    });
}

}  // namespace tallowmere
