#include <gtest/gtest.h>

#include <QTabWidget>

#include "menus/MainMenu.h"
#include "prefs/PreferencesContentViewController.h"
#include "prefs/PreferencesViewController.h"
#include "prefs/PreferencesWindowController.h"
#include "support/ui/UiWait.h"

using namespace tallowmere;

namespace {

// A pane that counts how often it was asked to refresh.
class CountingPane : public PreferencesContentViewController {
public:
    void refresh() override { ++refreshes; }
    int refreshes = 0;
};

TEST(PreferencesContentViewController, APaneWithNothingToSaveCallsItsCompletionOnceAtOnce) {
    PreferencesContentViewController pane;
    int calls = 0;
    pane.saveSettings([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    pane.saveSettings({});  // no completion: nothing to call
}

TEST(PreferencesViewController, RefreshesEachPaneOnALaterTurn) {
    PreferencesWindowController windowController;
    PreferencesViewController* tabs = windowController.contentViewController();
    auto* first = new CountingPane();
    auto* second = new CountingPane();
    tabs->addTabViewItem(first);
    tabs->addTabViewItem(second);
    ASSERT_EQ(tabs->tabViewItems().size(), 2u);
    tabs->refreshPanes();
    EXPECT_EQ(first->refreshes, 0) << "not before the call returns";
    EXPECT_TRUE(test::waitUntil([&] { return first->refreshes == 1 && second->refreshes == 1; }, 3000));
    EXPECT_TRUE(qobject_cast<QTabWidget*>(tabs->view()));
    windowController.showWindow();
    EXPECT_TRUE(windowController.window()->isVisible());

    MainMenu menu;
    EXPECT_GE(menu.actions().size(), 9);
    EXPECT_NE(menu.windowMenu(), nullptr);
}

}  // namespace
