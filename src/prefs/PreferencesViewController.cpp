#include "prefs/PreferencesViewController.h"

#include <QPointer>
#include <QTabWidget>

#include "platform/dispatch/MainQueue.h"
#include "prefs/PreferencesContentViewController.h"

namespace tallowmere {

PreferencesViewController::PreferencesViewController(QObject* parent) : desktop::ViewController(parent) {}

void PreferencesViewController::addTabViewItem(PreferencesContentViewController* pane) {
    if (!pane) return;
    addChild(pane);
    tabViewItems_.push_back(pane);
}

void PreferencesViewController::refreshPanes() {
    for (PreferencesContentViewController* pane : tabViewItems_) {
        QPointer<PreferencesContentViewController> guarded(pane);
        dispatch::MainQueue::shared().async([guarded] {
            if (guarded) guarded->refresh();
        });
    }
}

void PreferencesViewController::loadView() { setView(new QTabWidget()); }

}  // namespace tallowmere
