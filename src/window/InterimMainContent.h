#pragma once

#include "platform/desktop/ViewController.h"
#include "themes/Themable.h"
#include "window/ActionTarget.h"
#include "window/MainContent.h"

namespace tallowmere {

// Fills the main window until the three panes are there: a plain view in the
// window's background colour. It adds feeds handed to the program as links
// and refreshes every feed when asked, straight through the feeds manager.
class InterimMainContent : public desktop::ViewController, public MainContent, public ActionTarget {
    Q_OBJECT
public:
    explicit InterimMainContent(QObject* parent = nullptr);

    desktop::ViewController& contentController() override { return *this; }
    void refreshFeeds() override;

    bool respondsToAction(Action action) const override;
    void performAction(Action action, const ActionArguments& arguments) override;

protected:
    void loadView() override;
};

}  // namespace tallowmere
