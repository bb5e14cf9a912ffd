#pragma once

#include <QPointer>
#include <QSize>
#include <QTimer>
#include <memory>

#include "platform/defaults/ObserverToken.h"
#include "platform/desktop/ViewController.h"

namespace tallowmere {

class MainContent;

// The root controller of the main window: its view holds the panes'
// controller's view, and it owns what belongs to the window as a whole: the
// periodic refresh of the feeds, the reactions to the refresh interval, the
// theme, the badge setting and the desktop's appearance, the walk that hands
// a new theme to every themed element, and the badge when the window appears.
class MainViewController : public desktop::ViewController {
    Q_OBJECT
public:
    static constexpr QSize defaultSize{1200, 800};
    static constexpr int minimumWidth = 200;
    static constexpr int minimumHeight = 500;

    // Without a content, the program's own (makeMainContent); a given one
    // must be a view controller, and becomes a child of this one.
    explicit MainViewController(MainContent* content = nullptr, QObject* parent = nullptr);
    ~MainViewController() override;

    MainContent& splitViewController() const { return *splitViewController_; }

    // Replaces the refresh timer after the refreshFeeds setting; with
    // `fireNow` every interval but "never" refreshes at once.
    void updateFeedsRefreshTimer(bool fireNow);
    // The repeating timer while one is scheduled.
    QTimer* feedsRefreshTimer() const { return feedsRefreshTimer_; }

    // Rebuilds the current theme, then hands it to the window, the
    // controllers from the panes' controller down and the views from its
    // view down.
    void reloadTheme();
    void applyThemeToWindowTree();
    // The unread count of every feed, shown by the application's badge.
    void refreshDockBadge();

protected:
    void loadView() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewDidAppear();
    void startObservations();

    MainContent* splitViewController_ = nullptr;
    QPointer<QTimer> feedsRefreshTimer_;
    defaults::ObserverToken feedsRefreshIntervalObservation_;
    defaults::ObserverToken themeTypeObservation_;
    defaults::ObserverToken showUnreadArticlesCountBadgeObservation_;
    QMetaObject::Connection effectiveAppearanceObservation_;
    bool appeared_ = false;
};

}  // namespace tallowmere
