#include "prefs/PreferencesWindowHost.h"

#include <QPointer>

#include "prefs/PreferencesContentViewController.h"
#include "prefs/PreferencesViewController.h"
#include "prefs/PreferencesWindowController.h"

namespace tallowmere {

PreferencesWindowHost::PreferencesWindowHost(QWidget* owner)
    : windowController_(std::make_unique<PreferencesWindowController>(owner)) {}

PreferencesWindowHost::~PreferencesWindowHost() = default;

void PreferencesWindowHost::showWindow() { windowController_->showWindow(); }

void PreferencesWindowHost::refreshPanes() { windowController_->contentViewController()->refreshPanes(); }

std::vector<PreferencesHost::PaneSave> PreferencesWindowHost::paneSaves() {
    std::vector<PaneSave> saves;
    for (const auto& item : windowController_->contentViewController()->tabViewItems()) {
        QPointer<PreferencesContentViewController> pane(item.viewController);
        saves.push_back([pane](std::function<void()> completion) {
            // A pane that is gone has nothing left to save.
            if (!pane) {
                if (completion) completion();
                return;
            }
            pane->saveSettings(std::move(completion));
        });
    }
    return saves;
}

}  // namespace tallowmere
