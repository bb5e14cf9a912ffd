#pragma once

#include <functional>
#include <string>

#include "platform/defaults/ObserverToken.h"
#include "store/Preferences.h"

namespace tallowmere {

// Settings change on whatever thread writes them (the synced store's thread
// for changes from other devices); the window hears of them on the main
// thread: at once when the change is made there, else through the main queue.
class MainThreadSettingsObserver {
public:
    MainThreadSettingsObserver() = delete;
    static defaults::ObserverToken observe(Preferences& preferences, const std::string& keyPath,
                                           std::function<void(const std::string& keyPath)> callback);
};

}  // namespace tallowmere
