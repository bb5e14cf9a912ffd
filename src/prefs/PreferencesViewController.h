#pragma once

#include <QPointer>
#include <QPropertyAnimation>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

#include "platform/desktop/ViewController.h"

class QAbstractButton;
class QButtonGroup;
class QStackedWidget;

namespace tallowmere {

class PreferencesContentViewController;

// The preference panes as a row of tabs over the pane of the selected one.
// Every pane is built with this controller's view, before the window first
// shows. Switching tabs resizes the window to the new pane, keeping its top
// edge where it is. The tab that opens the phone app's page never becomes the
// selected one.
class PreferencesViewController : public desktop::ViewController {
    Q_OBJECT
public:
    static constexpr const char* tableName = "PreferencesViewController";
    static constexpr const char* iOSAppIdentifier = "ios_app";

    struct TabViewItem {
        QString label;
        QString identifier;
        PreferencesContentViewController* viewController = nullptr;
        QAbstractButton* button = nullptr;
    };

    explicit PreferencesViewController(QObject* parent = nullptr);

    const std::vector<TabViewItem>& tabViewItems() const { return tabViewItems_; }
    int selectedTabViewItemIndex() const { return selected_; }
    // Selects a tab as a click on it does; a tab that may not be selected
    // keeps the current one.
    void selectTabViewItem(int index);
    // The window size that shows the pane with the tab row above it.
    QSize windowContentSize(const PreferencesContentViewController* pane) const;

    // Queues, for each pane, a task on the main queue; the task changes
    // nothing: a pane reads its settings once, when it is built.
    void refreshPanes();

    // Before the window shows: its title and size follow the selected tab.
    void viewWillAppear();

    // Whether the tab may be selected; the phone app's tab opens its page
    // instead.
    bool shouldSelect(const TabViewItem& item);

    // The animation of the window's last resize (tests wait on it).
    QPropertyAnimation* resizeAnimation() const { return animation_; }

protected:
    void loadView() override;
    void viewDidLoad() override;

private:
    void addTabViewItem(const char* labelKey, const char* imageName, PreferencesContentViewController* pane,
                        const char* identifier = nullptr);
    void transition(int to);
    void resizeWindow(const PreferencesContentViewController* pane);
    // The window title is the selected tab's label.
    void updateTitle();

    std::vector<TabViewItem> tabViewItems_;
    QWidget* tabBar_ = nullptr;
    QButtonGroup* buttons_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QPointer<QPropertyAnimation> animation_;
    int selected_ = -1;
};

}  // namespace tallowmere
