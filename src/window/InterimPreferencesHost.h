#pragma once

#include "window/PreferencesHost.h"

namespace tallowmere {

// Stands for the preferences window until it exists: no window, no panes.
class InterimPreferencesHost : public PreferencesHost {
public:
    void showWindow() override;
    void refreshPanes() override {}
    std::vector<PaneSave> paneSaves() override { return {}; }
};

}  // namespace tallowmere
