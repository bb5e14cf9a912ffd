#pragma once

#include <vector>

#include "platform/desktop/ViewController.h"

namespace tallowmere {

class PreferencesContentViewController;

// The tabs of the preference panes.
class PreferencesViewController : public desktop::ViewController {
    Q_OBJECT
public:
    explicit PreferencesViewController(QObject* parent = nullptr);

    // The panes in tab order.
    const std::vector<PreferencesContentViewController*>& tabViewItems() const { return tabViewItems_; }
    void addTabViewItem(PreferencesContentViewController* pane);
    // Each pane refreshes itself on a later turn of the main queue.
    void refreshPanes();

protected:
    void loadView() override;

private:
    std::vector<PreferencesContentViewController*> tabViewItems_;
};

}  // namespace tallowmere
