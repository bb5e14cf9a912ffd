#pragma once

#include <memory>

#include "platform/defaults/UserDefaults.h"
#include "store/Preferences.h"
#include "support/SyncedStoreDouble.h"
#include "support/TempDir.h"

namespace tallowmere::test {

// Settings of their own for one test, in place of the shared ones.
struct FreshPreferences {
    TempDir folder;
    std::shared_ptr<defaults::UserDefaults> defaults =
        std::make_shared<defaults::UserDefaults>(folder.path() / "settings.json");
    std::shared_ptr<SyncedStoreDouble> synced = std::make_shared<SyncedStoreDouble>();
    std::shared_ptr<Preferences> preferences = std::make_shared<Preferences>(defaults, synced);

    FreshPreferences() { Preferences::replaceShared(preferences); }
    ~FreshPreferences() { Preferences::replaceShared(nullptr); }
};

}  // namespace tallowmere::test
