#pragma once

#include "prefs/PreferencesContentViewController.h"

namespace tallowmere {

// The notifications pane. Its rows are not built yet: the pane holds its
// place among the tabs at its full size.
class PreferencesNotificationsViewController : public PreferencesContentViewController {
    Q_OBJECT
public:
    static constexpr const char* tableName = "PreferencesNotificationsViewController";
    static constexpr int height = 350;

    explicit PreferencesNotificationsViewController(QObject* parent = nullptr);

protected:
    void viewDidLoad() override;
};

}  // namespace tallowmere
