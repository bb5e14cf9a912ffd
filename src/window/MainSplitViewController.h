#pragma once

#include <QPointer>
#include <QSplitter>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/ViewController.h"
#include "platform/dispatch/DispatchGroup.h"
#include "reader/ReaderReadMode.h"
#include "themes/Themable.h"
#include "window/ActionTarget.h"
#include "window/FeedsManagementToolbarDelegate.h"
#include "window/FeedsSmartGroup.h"
#include "window/MainContent.h"

class QKeyEvent;

namespace tallowmere {

class Article;
class ArticlesViewController;
class CloudNotificationsManagerDelegate;
class FeedsViewController;
class ReaderViewController;

// The three panes side by side with thin dividers in the theme's separator
// colour.
class MainSplitView : public QSplitter, public Themable {
    Q_OBJECT
public:
    static constexpr int dividerThickness = 1;

    explicit MainSplitView(QWidget* parent = nullptr);
    QColor dividerColor() const;
    void applyTheme() override;

protected:
    QSplitterHandle* createHandle() override;
};

// The content of the main window: the sidebar, the article list and the
// reader, wired to each other and to the shared services. It carries out
// every command of the window, keeps the refresh group on which a refresh
// waits for the refreshes and cloud feed syncs under way, drives the
// sidebar's refresh spinner, and at start-up syncs the cloud feed list and
// adds the default feeds on the very first launch.
class MainSplitViewController : public desktop::ViewController,
                                public MainContent,
                                public ActionTarget,
                                public Themable,
                                public FeedsManagementToolbarDelegate {
    Q_OBJECT
public:
    static constexpr int feedsMinimumThickness = 250;
    static constexpr int feedsMaximumThickness = 300;
    static constexpr int articlesMinimumThickness = 320;
    static constexpr int articlesMaximumThickness = 400;
    // Narrower windows show the list and the reader only.
    static constexpr int minimumThicknessForInlineSidebars = 700;
    static constexpr const char* autosaveName = "MainSplitView";
    // A start-up sync whose answer never comes must not hold every refresh.
    static constexpr std::chrono::milliseconds defaultCloudSyncTimeout = std::chrono::seconds(30);

    explicit MainSplitViewController(QObject* parent = nullptr);
    ~MainSplitViewController() override;

    FeedsViewController& feedsViewController() const { return *feedsViewController_; }
    ArticlesViewController& articlesViewController() const { return *articlesViewController_; }
    ReaderViewController& readerViewController() const { return *readerViewController_; }
    MainSplitView* splitView() const { return splitView_; }

    desktop::ViewController& contentController() override { return *this; }
    void refreshFeeds() override;

    bool respondsToAction(Action action) const override;
    void performAction(Action action, const ActionArguments& arguments) override;
    bool handleKeyEvent(QKeyEvent* event) override;

    void applyTheme() override;

    // Holds the refresh group until the cloud user manager has brought the
    // local feeds in line with the user's cloud feed list.
    void syncCloudFeeds(bool hidingProgress, std::function<void()> completion = {});
    void addDefaultFeedsOnFirstLaunch();
    void showArticle(const Article& article);
    void userRecordDidChange();

    // The spinner shows while at least one operation is under way.
    void showRefreshProgress();
    void hideRefreshProgress();
    int runningOperations() const { return runningOperations_; }
    // Whether a refresh or a cloud feed sync holds the refresh group now.
    bool isRefreshGroupBusy() const { return refreshGroupHolders_ > 0; }

    // What the first launch adds; the built-in list unless replaced (tests).
    const std::vector<std::string>& defaultFeeds() const { return defaultFeeds_; }
    void setDefaultFeeds(std::vector<std::string> feeds) { defaultFeeds_ = std::move(feeds); }
    void setCloudSyncTimeout(std::chrono::milliseconds timeout) { cloudSyncTimeout_ = timeout; }
    // The notification delegate this controller registers (kept alive here).
    std::shared_ptr<CloudNotificationsManagerDelegate> notificationsDelegate() const { return notificationsDelegate_; }

Q_SIGNALS:
    // A full refresh has ended and the list has been rebuilt where needed.
    void feedsRefreshDidEnd();
    // An alert is about to open (tests close it).
    void alertWillOpen(const QString& text);

protected:
    void loadView() override;
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addFeed();
    void addFeedFromFolder(const std::string& address, const std::optional<std::string>& folder);
    void startRefreshWhenIdle();
    void refreshDidEnd();
    void enterRefreshGroup();
    void leaveRefreshGroup();
    void importOPML();
    void exportOPML();
    void showNextFeed();
    void showSmartGroup(FeedsSmartGroup group);
    void setArticlesFilter(const ActionArguments& arguments);
    void showNextArticle();
    void showPreviousArticle();
    void markSelectedArticleAsUnread();
    void setReaderReadMode(ReaderReadMode mode);
    void viewArticleInDefaultBrowser(const std::optional<Article>& article);
    void copyArticleURL();
    void setUnreadArticlesFirst(bool oldestFirst);
    void toggleGroupArticlesByFeed();
    void applyGroupArticlesByFeed();
    void renameFolderAt(int row);
    void resetFeedsSorting();
    void reloadArticlesWithForce(bool force);
    void chooseNotificationsManager();
    void showAlert(const QString& text);
    void layOutPanes();
    void showSidebarForWidth(int width);
    void saveDividers();
    void restoreDividers();

    FeedsViewController* feedsViewController_;
    ArticlesViewController* articlesViewController_;
    ReaderViewController* readerViewController_;
    std::shared_ptr<dispatch::DispatchGroup> feedsRefreshGroup_;
    QPointer<MainSplitView> splitView_;
    std::shared_ptr<CloudNotificationsManagerDelegate> notificationsDelegate_;
    std::vector<std::string> defaultFeeds_;
    std::chrono::milliseconds cloudSyncTimeout_ = defaultCloudSyncTimeout;
    int runningOperations_ = 0;
    int refreshGroupHolders_ = 0;
    // Start-up syncs that left their spinner to the next full refresh.
    int progressHandovers_ = 0;
    bool restoringDividers_ = false;
};

}  // namespace tallowmere
