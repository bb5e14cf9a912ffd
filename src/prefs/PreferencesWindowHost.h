#pragma once

#include <memory>

#include "window/PreferencesHost.h"

class QWidget;

namespace tallowmere {

class PreferencesWindowController;

// The application's delegate's way to the preferences window.
class PreferencesWindowHost : public PreferencesHost {
public:
    // The window stays above `owner` (the main window).
    explicit PreferencesWindowHost(QWidget* owner = nullptr);
    ~PreferencesWindowHost() override;

    void showWindow() override;
    void refreshPanes() override;
    // Every pane's save, in tab order.
    std::vector<PaneSave> paneSaves() override;

    PreferencesWindowController& windowController() const { return *windowController_; }

private:
    std::unique_ptr<PreferencesWindowController> windowController_;
};

}  // namespace tallowmere
