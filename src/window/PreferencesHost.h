#pragma once

#include <functional>
#include <vector>

namespace tallowmere {

// What the application's delegate asks of the preferences window's controller.
class PreferencesHost {
public:
    // A pane's save of the settings it holds; calls the completion when done.
    using PaneSave = std::function<void(std::function<void()> completion)>;

    virtual ~PreferencesHost() = default;
    virtual void showWindow() = 0;
    // Each pane reads its settings again (the program became active).
    virtual void refreshPanes() = 0;
    // The saves of the panes, in the order of the tabs.
    virtual std::vector<PaneSave> paneSaves() = 0;
};

}  // namespace tallowmere
