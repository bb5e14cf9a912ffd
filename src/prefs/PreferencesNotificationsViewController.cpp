#include "prefs/PreferencesNotificationsViewController.h"

namespace tallowmere {

PreferencesNotificationsViewController::PreferencesNotificationsViewController(QObject* parent)
    : PreferencesContentViewController(parent) {}

void PreferencesNotificationsViewController::viewDidLoad() { setPreferredContentSize({width, height}); }

}  // namespace tallowmere
