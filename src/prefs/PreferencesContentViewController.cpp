#include "prefs/PreferencesContentViewController.h"

namespace tallowmere {

PreferencesContentViewController::PreferencesContentViewController(QObject* parent)
    : desktop::ViewController(parent) {}

void PreferencesContentViewController::saveSettings(Completion completion) {
    if (completion) completion();
}

}  // namespace tallowmere
