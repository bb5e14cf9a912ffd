// The main window with its three panes, over the real store in a temporary
// folder and feeds served on loopback.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>

#include "cloud/CloudNotificationsManager.h"
#include "cloud/LocalNotificationsManager.h"
#include "cloud/NullCloudUserManager.h"
#include "feeds/FeedsManager.h"
#include "platform/desktop/Application.h"
#include "reader/ReaderManagementToolbar.h"
#include "reader/ReaderViewController.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "store/Feed.h"
#include "store/PersistentState.h"
#include "store/Preferences.h"
#include "support/SignedOutCloudUserManager.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"
#include "support/ui/Screenshot.h"
#include "support/ui/UiWait.h"
#include "themes/ColorHelpers.h"
#include "themes/ThemesManager.h"
#include "window/ActionRouter.h"
#include "window/ArticlesListModel.h"
#include "window/ArticlesTableView.h"
#include "window/ArticlesViewController.h"
#include "window/FeedAddViewController.h"
#include "window/FeedsManagementToolbar.h"
#include "window/FeedsOutlineView.h"
#include "window/FeedsViewController.h"
#include "window/MainSplitViewController.h"
#include "window/MainViewController.h"
#include "window/MainWindow.h"
#include "window/MainWindowController.h"

using namespace tallowmere;

// Takes the links the program hands to the desktop.
class LinkCatcher : public QObject {
    Q_OBJECT
public:
    LinkCatcher() {
        for (const char* scheme : {"http", "https", "file", "javascript", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~LinkCatcher() override {
        for (const char* scheme : {"http", "https", "file", "javascript", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    std::vector<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url); }
};

namespace {

using namespace std::chrono_literals;

// Feeds on loopback: "/feeds/<name>.xml" lists that feed's items, newest
// first; "/missing.xml" is not there; "/slow/<name>.xml" answers late.
// Counts every request and the most that were ever under way at once.
class FeedServer {
public:
    FeedServer() {
        base_ = std::chrono::system_clock::now() - std::chrono::hours(48);
        server_.server().Get(R"(/(feeds|slow)/(\w+)\.xml)", [this](const httplib::Request& request, httplib::Response& response) {
            const int now = ++inFlight_;
            for (int most = mostInFlight_; now > most && !mostInFlight_.compare_exchange_weak(most, now);) {
            }
            ++requests_;
            if (request.matches[1] == "slow") std::this_thread::sleep_for(300ms);
            response.set_content(document(request.matches[2]), "application/rss+xml");
            --inFlight_;
        });
        server_.start();
    }

    std::string url(const std::string& name, bool slow = false) const {
        return server_.url((slow ? "/slow/" : "/feeds/") + name + ".xml");
    }
    std::string missing() const { return server_.url("/missing.xml"); }
    void setItems(const std::string& name, int count) {
        std::lock_guard lock(mutex_);
        items_[name] = count;
    }
    int requests() const { return requests_; }
    int mostInFlight() const { return mostInFlight_; }
    int port() const { return server_.port(); }

private:
    std::string document(const std::string& name) {
        int count = 3;
        {
            std::lock_guard lock(mutex_);
            if (auto found = items_.find(name); found != items_.end()) count = found->second;
        }
        std::string items;
        for (int index = count - 1; index >= 0; --index) {
            const auto date = std::chrono::system_clock::to_time_t(base_ + std::chrono::minutes(index));
            char text[64];
            std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", std::gmtime(&date));
            const std::string id = name + "-" + std::to_string(index);
            items += "<item><title>" + name + " story " + std::to_string(index) + "</title><link>http://127.0.0.1/" + id +
                     "</link><guid>" + id + "</guid><pubDate>" + text + "</pubDate><description>Text of " + id +
                     ", long enough to be an article of its own.</description></item>";
        }
        return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + name +
               "</title><link>http://127.0.0.1/</link><description>d</description>" + items + "</channel></rss>";
    }

    test::LoopbackServer server_;
    std::chrono::system_clock::time_point base_;
    std::mutex mutex_;
    std::map<std::string, int> items_;
    std::atomic<int> requests_{0};
    std::atomic<int> inFlight_{0};
    std::atomic<int> mostInFlight_{0};
};

void settle(int ms = 100) { test::waitUntil([] { return false; }, ms); }

std::optional<Feed> storedFeed(const std::string& url) { return NodesSource::shared()->feed(url); }

// Adds the feed straight through the feeds manager and waits for its articles.
void addFeed(const std::string& url) {
    std::atomic<bool> done{false};
    FeedsManager::shared().addFeed(url, std::nullopt, {}, [&](bool, std::optional<FeedsManagerError>) { done = true; });
    ASSERT_TRUE(test::waitUntil([&] { return done.load(); }, 20000)) << url;
    ASSERT_TRUE(test::waitUntil([&] { return storedFeed(url).has_value(); }, 10000)) << url;
}

void deleteEveryFeed() {
    for (const Feed& feed : NodesSource::shared()->allFeeds()) FeedsManager::shared().deleteNode(feed, false);
    ASSERT_TRUE(test::waitUntil([] { return NodesSource::shared()->allFeeds().empty(); }, 10000));
}

// The main window as the program makes it, holding the split view.
class Window {
public:
    explicit Window(QSize size = {1200, 760}) {
        controller_ = std::make_unique<MainWindowController>();
        split_ = dynamic_cast<MainSplitViewController*>(&controller_->contentViewController().splitViewController());
        controller_->window()->resize(size);
        controller_->showWindow();
        test::waitUntil([&] { return window()->windowHandle() && window()->windowHandle()->isExposed(); }, 5000);
        desktop::Application::activate(window());
        test::waitUntil([&] { return window()->isActiveWindow(); }, 3000);
        QObject::connect(split_, &MainSplitViewController::alertWillOpen,
                         [this](const QString& text) { alerts.push_back(text.toStdString()); });
    }
    ~Window() { closeAlerts(); }

    MainWindow* window() const { return controller_->window(); }
    MainSplitViewController& split() const { return *split_; }
    FeedsViewController& feeds() const { return split_->feedsViewController(); }
    ArticlesViewController& articles() const { return split_->articlesViewController(); }
    ReaderViewController& reader() const { return split_->readerViewController(); }
    ArticlesTableView* table() const { return articles().articlesTableView(); }
    FeedsOutlineView* outline() const { return feeds().feedsOutlineView(); }
    int articleRows() const { return articles().articlesModel()->rowCount(); }
    int selectedArticleRow() const {
        const auto rows = table()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    bool spinnerShown() const { return !feeds().feedsManagementToolbar()->isRefreshProgressHidden(); }

    void perform(Action action, std::any first = {}, std::any second = {}) {
        split_->performAction(action, ActionArguments(std::move(first), std::move(second)));
    }
    void selectFeedRow(const std::string& url) {
        split_->feedsViewController().selectFeed(url);
        ASSERT_TRUE(test::waitUntil([&] { return articleRows() > 0; }, 10000));
    }
    void refreshAndWait() {
        int ended = 0;
        auto connection = QObject::connect(split_, &MainSplitViewController::feedsRefreshDidEnd, [&] { ++ended; });
        split_->refreshFeeds();
        EXPECT_TRUE(test::waitUntil([&] { return ended > 0; }, 20000));
        QObject::disconnect(connection);
    }
    void closeAlerts() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("MainSplitViewAlert")) widget->close();
    }

    std::vector<std::string> alerts;

private:
    std::unique_ptr<MainWindowController> controller_;
    MainSplitViewController* split_ = nullptr;
};

class MainSplitViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A later launch: the built-in default feeds live outside this machine.
        PersistentState::shared()->setFirstLaunch(false);
        Preferences::shared()->setFeedsRefreshInterval(FeedsRefreshInterval::never);
        Preferences::shared()->setThemeType(ThemeType::espresso);
        ThemesManager::shared().reloadTheme({});
    }

    FeedServer server;
};

}  // namespace

TEST_F(MainSplitViewTest, RowSteppingStopsAtTheEnds) {
    server.setItems("stepping", 3);
    addFeed(server.url("stepping"));
    Window window;
    window.selectFeedRow(server.url("stepping"));
    struct Case {
        const char* name;
        int selectedBefore;  // -1: none
        Action action;
        int selectedAfter;
    };
    const Case cases[] = {
        {"next without selection selects the first", -1, Action::showNextArticle, 0},
        {"next", 0, Action::showNextArticle, 1},
        {"next at the last does nothing", 2, Action::showNextArticle, 2},
        {"previous", 2, Action::showPreviousArticle, 1},
        {"previous at the first does nothing", 0, Action::showPreviousArticle, 0},
        {"previous without selection does nothing", -1, Action::showPreviousArticle, -1},
    };
    ASSERT_EQ(window.articleRows(), 3);
    for (const auto& item : cases) {
        window.table()->selectionModel()->clearSelection();
        if (item.selectedBefore >= 0) window.table()->selectionModel()->select(
            window.table()->model()->index(item.selectedBefore, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window.perform(item.action);
        EXPECT_EQ(window.selectedArticleRow(), item.selectedAfter) << item.name;
    }

    // The sidebar: from nothing to the first row, then on; never past the end.
    FeedsOutlineView* outline = window.outline();
    outline->clearSelection();
    window.perform(Action::showNextFeed);
    EXPECT_EQ(outline->selectedRow(), 0);
    window.perform(Action::showNextFeed);
    EXPECT_EQ(outline->selectedRow(), 1);
    outline->selectRow(outline->numberOfRows() - 1);
    window.perform(Action::showNextFeed);
    EXPECT_EQ(outline->selectedRow(), outline->numberOfRows() - 1);
    // The smart groups by their number; a wrong type does nothing.
    window.perform(Action::showSmartGroup, FeedsSmartGroup::starred);
    EXPECT_EQ(outline->selectedRow(), 3);
    window.perform(Action::showSmartGroup, std::string("all"));
    EXPECT_EQ(outline->selectedRow(), 3);
}

TEST_F(MainSplitViewTest, ArrowKeysSwitchTheReaderAndTheFocus) {
    addFeed(server.url("keys"));
    Window window;
    window.selectFeedRow(server.url("keys"));
    LinkCatcher links;
    window.table()->setFocus();
    ASSERT_TRUE(test::waitUntil([&] { return window.table()->hasFocus(); }));
    ReaderManagementToolbar* toolbar = window.reader().readerManagementToolbar();
    struct Step {
        Qt::Key key;
        ReaderReadMode mode;
        int segment;
        const char* focus;  // "table" or "outline"
    };
    const Step steps[] = {
        {Qt::Key_Right, ReaderReadMode::web, 1, "table"},
        {Qt::Key_Left, ReaderReadMode::preview, 0, "table"},
        {Qt::Key_Left, ReaderReadMode::preview, 0, "outline"},
        {Qt::Key_Right, ReaderReadMode::preview, 0, "table"},  // from elsewhere the list takes the focus first
    };
    for (const auto& step : steps) {
        QTest::keyClick(QApplication::focusWidget(), step.key);
        EXPECT_EQ(window.reader().readMode(), step.mode) << step.focus;
        EXPECT_EQ(toolbar->selectedSegment(), step.segment) << step.focus;
        QWidget* expected = std::string(step.focus) == "table" ? static_cast<QWidget*>(window.table()) : window.outline();
        EXPECT_TRUE(test::waitUntil([&] { return QApplication::focusWidget() == expected; }, 3000)) << step.focus;
    }
    // Space steps to the next article; Return and Enter open the selected one's link.
    const int before = window.selectedArticleRow();
    QTest::keyClick(window.table(), Qt::Key_Space);
    EXPECT_EQ(window.selectedArticleRow(), before + 1);
    QTest::keyClick(window.table(), Qt::Key_Return);
    QTest::keyClick(window.table(), Qt::Key_Enter);
    ASSERT_EQ(links.opened.size(), 2u);
    EXPECT_EQ(links.opened[0].host(), QStringLiteral("127.0.0.1"));
}

TEST_F(MainSplitViewTest, TwoRefreshesAskedDuringARefreshBothRunOneAfterTheOther) {
    addFeed(server.url("slowfeed", true));
    Window window;
    int ended = 0;
    QObject::connect(&window.split(), &MainSplitViewController::feedsRefreshDidEnd, [&] { ++ended; });
    const int before = server.requests();
    window.split().refreshFeeds();
    ASSERT_TRUE(test::waitUntil([&] { return window.split().isRefreshGroupBusy(); }));
    window.perform(Action::refreshFeeds);
    window.perform(Action::refreshFeeds);
    ASSERT_TRUE(test::waitUntil([&] { return ended == 3; }, 30000)) << ended;
    settle(300);
    EXPECT_EQ(ended, 3);
    EXPECT_EQ(server.requests() - before, 3);
    EXPECT_EQ(server.mostInFlight(), 1);
    EXPECT_FALSE(window.spinnerShown());
    EXPECT_EQ(window.split().runningOperations(), 0);
}

TEST_F(MainSplitViewTest, ARefreshRebuildsTheUnreadListAndKeepsTheSelectionOfAll) {
    struct Case {
        FeedsSmartGroup group;
        bool rebuilt;
    };
    for (const Case item : {Case{FeedsSmartGroup::unread, true}, Case{FeedsSmartGroup::all, false}}) {
        const std::string name = item.rebuilt ? "unreadlist" : "alllist";
        deleteEveryFeed();
        server.setItems(name, 3);
        addFeed(server.url(name));
        Window window;
        window.perform(Action::showSmartGroup, item.group);
        ASSERT_TRUE(test::waitUntil([&] { return window.articleRows() == 3; }, 10000));
        const int rowsBefore = 3;
        window.table()->selectionModel()->select(window.table()->model()->index(2, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const auto selected = window.articles().selectedArticle();
        ASSERT_TRUE(selected);
        server.setItems(name, 4);
        window.refreshAndWait();
        ArticlesListModel* model = window.articles().articlesModel();
        if (item.rebuilt) {
            // Rebuilt: the article read by selecting it has left, the new one is
            // there, and the first row is selected.
            ASSERT_TRUE(test::waitUntil([&] { return !model->row(selected->objectID()); }, 10000));
            EXPECT_EQ(window.articleRows(), static_cast<int>(ArticlesSource::shared().numberOfArticles()));
            EXPECT_EQ(window.selectedArticleRow(), 0);
        } else {
            // Kept: the same article stays selected and the new one is added.
            ASSERT_TRUE(test::waitUntil([&] { return window.articleRows() == rowsBefore + 1; }, 10000))
                << window.articleRows();
            ASSERT_TRUE(window.articles().selectedArticle());
            EXPECT_EQ(window.articles().selectedArticle()->objectID(), selected->objectID());
        }
    }
}

TEST_F(MainSplitViewTest, FiltersComeOnlyFromMenuEntries) {
    addFeed(server.url("filters"));
    Window window;
    window.perform(Action::showSmartGroup, FeedsSmartGroup::all);
    ArticlesSource& source = ArticlesSource::shared();
    ASSERT_TRUE(test::waitUntil([&] { return source.feedsInfo().has_value(); }));
    QAction unread, none, wrong;
    unread.setData(QVariant::fromValue(ArticlesSourceFilter::unread));
    wrong.setData(QVariant::fromValue(7));
    struct Case {
        const char* name;
        std::any sender;
        std::optional<ArticlesSourceFilter> filter;
    };
    const Case cases[] = {
        {"a menu entry's filter", &unread, ArticlesSourceFilter::unread},
        {"a filter sent by no menu entry", ArticlesSourceFilter::starred, ArticlesSourceFilter::unread},
        {"nothing sent", std::any(), ArticlesSourceFilter::unread},
        {"an entry without a filter", &none, std::nullopt},
        {"back to unread", &unread, ArticlesSourceFilter::unread},
        {"an entry with another type", &wrong, std::nullopt},
    };
    for (const auto& item : cases) {
        window.perform(Action::setArticlesFilter, item.sender);
        EXPECT_EQ(source.feedsInfo()->filter, item.filter) << item.name;
    }
}

TEST_F(MainSplitViewTest, ReadModesSetTheSegmentAndTheMode) {
    addFeed(server.url("modes"));
    Window window;
    window.selectFeedRow(server.url("modes"));
    ReaderManagementToolbar* toolbar = window.reader().readerManagementToolbar();
    struct Case {
        Action action;
        std::any mode;
        ReaderReadMode expected;
        int segment;
    };
    const Case cases[] = {
        {Action::setReaderReadMode, ReaderReadMode::web, ReaderReadMode::web, 1},
        {Action::setReaderReadMode, ReaderReadMode::readable, ReaderReadMode::readable, 0},
        {Action::setReaderReadMode, std::string("web"), ReaderReadMode::readable, 0},  // wrong type: nothing
        {Action::setReaderReadMode, ReaderReadMode::preview, ReaderReadMode::preview, 0},
        {Action::setReaderReadMode, ReaderReadMode::web, ReaderReadMode::web, 1},
        {Action::showFullArticle, std::any(), ReaderReadMode::readable, 0},
    };
    for (const auto& item : cases) {
        window.perform(item.action, item.mode);
        EXPECT_EQ(window.reader().readMode(), item.expected);
        EXPECT_EQ(toolbar->selectedSegment(), item.segment);
        EXPECT_EQ(toolbar->readModeSelectedSegment(), item.segment);
    }
}

TEST_F(MainSplitViewTest, FirstLaunchAddsTheDefaultFeedsOnlyToAnEmptyStore) {
    deleteEveryFeed();
    const std::vector<std::string> defaults = {server.url("default1"), server.url("default2"), server.url("default3"),
                                               server.url("default4")};
    // A launch: the window's panes made as the program makes them.
    auto launch = [&] {
        auto split = std::make_unique<MainSplitViewController>();
        split->setDefaultFeeds(defaults);
        split->view();
        // The start-up sync ends, then the check runs on the main queue.
        EXPECT_TRUE(test::waitUntil([&] { return !split->isRefreshGroupBusy() && split->runningOperations() == 0; },
                                    20000));
        settle(200);
    };
    struct Case {
        const char* name;
        bool firstLaunch;
        std::vector<std::string> stored;
        std::size_t feedsAfter;
    };
    const Case cases[] = {
        {"first launch, empty store", true, {}, 4},
        {"second launch after deleting every feed", false, {}, 0},
        {"first launch with a stored feed", true, {server.url("kept")}, 1},
    };
    for (const auto& item : cases) {
        deleteEveryFeed();
        for (const auto& url : item.stored) addFeed(url);
        if (item.name == cases[1].name) deleteEveryFeed();
        PersistentState::shared()->setFirstLaunch(item.firstLaunch);
        launch();
        EXPECT_FALSE(PersistentState::shared()->firstLaunch()) << item.name;
        EXPECT_EQ(NodesSource::shared()->allFeeds().size(), item.feedsAfter) << item.name;
        if (item.feedsAfter == 4) {
            for (const auto& url : defaults) EXPECT_TRUE(storedFeed(url)) << url;
        }
        if (item.name == cases[0].name) {
            // The next launch finds the flag cleared, even with the store emptied.
            deleteEveryFeed();
            launch();
            EXPECT_TRUE(NodesSource::shared()->allFeeds().empty());
        }
    }
}

namespace {

// The signed-out cloud, except that its feed sync answers only when let go
// (or never) and its sign-in state is set by the test.
class HeldCloudUserManager : public test::SignedOutCloudUserManager {
public:
    void syncFeeds(Completion completion) override {
        std::lock_guard lock(mutex_);
        held_.push_back(std::move(completion));
    }
    void release() {
        std::vector<Completion> completions;
        {
            std::lock_guard lock(mutex_);
            completions.swap(held_);
        }
        for (auto& completion : completions) completion();
    }
    std::optional<bool> isAuthenticated() const override { return authenticated; }
    std::optional<bool> cloudAvailabilityReply() const override {
        const std::optional<bool> state = authenticated;
        if (!state || !*state) return state;
        return Preferences::shared()->cloudEnabled();
    }
    void checkCloudAvailability(AvailabilityCompletion completion) override { completion(cloudAvailabilityReply()); }
    void fetchUserRecord(UserRecordCompletion completion) override {
        authenticated = authenticatedAfterFetch;
        SignedOutCloudUserManager::fetchUserRecord(std::move(completion));
    }

    std::atomic<std::optional<bool>> authenticated{false};
    std::optional<bool> authenticatedAfterFetch;

private:
    std::mutex mutex_;
    std::vector<Completion> held_;
};

// Puts a held cloud in place for one test.
class HeldCloud {
public:
    HeldCloud() : previous_(CloudUserManager::shared()), cloud_(std::make_shared<HeldCloudUserManager>()) {
        CloudUserManager::setShared(cloud_);
    }
    ~HeldCloud() {
        cloud_->release();
        CloudUserManager::setShared(previous_);
    }
    HeldCloudUserManager* operator->() const { return cloud_.get(); }

private:
    std::shared_ptr<CloudUserManager> previous_;
    std::shared_ptr<HeldCloudUserManager> cloud_;
};

}  // namespace

TEST_F(MainSplitViewTest, TheStartUpSpinnerFollowsTheRefreshInterval) {
    addFeed(server.url("progress"));
    HeldCloud cloud;
    struct Case {
        FeedsRefreshInterval interval;
        bool shownAfterSync;
    };
    for (const Case item : {Case{FeedsRefreshInterval::never, false}, Case{FeedsRefreshInterval::fiveMinutes, true},
                            Case{FeedsRefreshInterval::atLaunch, true}}) {
        Preferences::shared()->setFeedsRefreshInterval(item.interval);
        MainSplitViewController split;
        split.view();
        EXPECT_TRUE(!split.feedsViewController().feedsManagementToolbar()->isRefreshProgressHidden());
        // A refresh asked now waits for the sync.
        int ended = 0;
        QObject::connect(&split, &MainSplitViewController::feedsRefreshDidEnd, [&] { ++ended; });
        if (item.shownAfterSync) split.refreshFeeds();
        settle(300);
        EXPECT_EQ(ended, 0);
        cloud->release();
        ASSERT_TRUE(test::waitUntil([&] { return !split.isRefreshGroupBusy() || ended > 0; }, 5000));
        if (!item.shownAfterSync) {
            EXPECT_TRUE(split.feedsViewController().feedsManagementToolbar()->isRefreshProgressHidden());
            continue;
        }
        // Shown until the first full refresh has ended.
        ASSERT_TRUE(test::waitUntil([&] { return ended == 1; }, 20000));
        EXPECT_TRUE(split.feedsViewController().feedsManagementToolbar()->isRefreshProgressHidden());
        EXPECT_EQ(split.runningOperations(), 0);
    }

    // A sync that never answers is given up, and the refresh waiting for it runs.
    Preferences::shared()->setFeedsRefreshInterval(FeedsRefreshInterval::fiveMinutes);
    {
        MainSplitViewController split;
        split.setCloudSyncTimeout(300ms);
        split.view();
        int ended = 0;
        QObject::connect(&split, &MainSplitViewController::feedsRefreshDidEnd, [&] { ++ended; });
        split.refreshFeeds();
        ASSERT_TRUE(test::waitUntil([&] { return ended == 1; }, 20000));
        EXPECT_TRUE(split.feedsViewController().feedsManagementToolbar()->isRefreshProgressHidden());
        // The late answer changes nothing.
        cloud->release();
        settle(200);
        EXPECT_FALSE(split.isRefreshGroupBusy());
    }
    Preferences::shared()->setFeedsRefreshInterval(FeedsRefreshInterval::never);
}

TEST_F(MainSplitViewTest, ActivatedNotificationsComeFromTheManagerOfTheSignInState) {
    HeldCloud cloud;
    struct Case {
        const char* name;
        std::optional<bool> authenticated;
        std::optional<bool> afterFetch;
        bool cloudEnabled;
        bool cloudManager;
    };
    const Case cases[] = {
        {"signed in, cloud on", true, true, true, true},
        {"signed in, cloud off", true, true, false, false},
        {"signed out", false, false, true, false},
        {"unknown, then signed out", std::nullopt, false, true, false},
        {"unknown, then signed in", std::nullopt, true, true, true},
        {"unknown, still unknown", std::nullopt, std::nullopt, false, true},
    };
    for (const auto& item : cases) {
        CloudNotificationsManager::shared()->setDelegate({});
        LocalNotificationsManager::shared()->setDelegate({});
        cloud->authenticated = item.authenticated;
        cloud->authenticatedAfterFetch = item.afterFetch;
        Preferences::shared()->setCloudEnabled(item.cloudEnabled);
        MainSplitViewController split;
        split.view();
        auto chosen = [&] {
            return (item.cloudManager ? CloudNotificationsManager::shared()->delegate().get()
                                      : static_cast<NotificationsManagerDelegate*>(
                                            LocalNotificationsManager::shared()->delegate().get()));
        };
        EXPECT_TRUE(test::waitUntil([&] { return chosen() == split.notificationsDelegate().get(); }, 5000)) << item.name;
        settle(50);
        EXPECT_EQ(item.cloudManager ? LocalNotificationsManager::shared()->delegate().get()
                                    : CloudNotificationsManager::shared()->delegate().get(),
                  nullptr)
            << item.name;
    }
    Preferences::shared()->setCloudEnabled(false);
}

TEST_F(MainSplitViewTest, PaneWidthsFollowTheWindow) {
    struct Case {
        int width;
        bool sidebar;
    };
    for (const Case item : {Case{600, false}, Case{900, true}, Case{1600, true}}) {
        Window window(QSize(item.width, 700));
        QWidget* sidebar = window.feeds().view();
        QWidget* list = window.articles().view();
        QWidget* reader = window.reader().view();
        ASSERT_TRUE(test::waitUntil([&] { return window.split().splitView()->width() == item.width; }, 5000))
            << window.split().splitView()->width();
        settle();
        EXPECT_EQ(sidebar->isVisible(), item.sidebar) << item.width;
        if (item.sidebar) {
            EXPECT_GE(sidebar->width(), 250) << item.width;
            EXPECT_LE(sidebar->width(), 300) << item.width;
        }
        EXPECT_GE(list->width(), 320) << item.width;
        EXPECT_LE(list->width(), 400) << item.width;
        const int dividers = item.sidebar ? 2 : 1;
        EXPECT_EQ(reader->width(), item.width - list->width() - (item.sidebar ? sidebar->width() : 0) - dividers)
            << item.width;
        EXPECT_EQ(window.split().splitView()->handleWidth(), 1);
    }
    // Moved dividers are kept as "MainSplitView" and restored by the next window.
    {
        Window window(QSize(1200, 700));
        window.split().splitView()->setSizes({290, 380, 528});
        Q_EMIT window.split().splitView()->splitterMoved(290, 1);
        const auto saved = PersistentState::shared()->defaults().string(MainSplitViewController::autosaveName);
        ASSERT_TRUE(saved);
        EXPECT_EQ(*saved, "290 380 528");
    }
    Window again(QSize(1200, 700));
    ASSERT_TRUE(test::waitUntil([&] { return again.feeds().view()->width() == 290; }, 5000))
        << again.feeds().view()->width();
    EXPECT_EQ(again.articles().view()->width(), 380);
}

TEST_F(MainSplitViewTest, AddingAFeedThroughTheSheetSelectsItAndADuplicateAlertsOnce) {
    Window window;
    auto addThroughSheet = [&](const std::string& url) {
        const int addRow = static_cast<int>(FeedsSmartGroup::add);
        const QRect row = window.outline()->visualRect(window.outline()->indexAtRow(addRow));
        QTest::mouseClick(window.outline()->viewport(), Qt::LeftButton, {}, row.center());
        FeedAddViewController* sheet = nullptr;
        ASSERT_TRUE(test::waitUntil([&] { return (sheet = window.feeds().presentedAddFeedSheet()) != nullptr; }, 5000));
        ASSERT_TRUE(test::waitUntil([&] { return sheet->feedURLTextField()->isVisible(); }, 5000));
        QTest::keyClicks(sheet->feedURLTextField(), QString::fromStdString(url));
        QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
    };
    const std::string url = server.url("sheetfeed");
    addThroughSheet(url);
    ASSERT_TRUE(test::waitUntil([&] { return storedFeed(url).has_value(); }, 20000));
    ASSERT_TRUE(test::waitUntil(
        [&] {
            auto item = window.feeds().selectedItem();
            auto* id = item ? std::get_if<graph::ObjectID>(&*item) : nullptr;
            return id && *id == storedFeed(url)->objectID();
        },
        10000));
    EXPECT_TRUE(window.alerts.empty());
    EXPECT_TRUE(test::waitUntil([&] { return !window.spinnerShown(); }));

    addThroughSheet(url);
    ASSERT_TRUE(test::waitUntil([&] { return !window.alerts.empty(); }, 10000));
    settle(300);
    ASSERT_EQ(window.alerts.size(), 1u);
    EXPECT_NE(window.alerts[0].find("already been added"), std::string::npos) << window.alerts[0];
    QWidget* alert = nullptr;
    EXPECT_TRUE(test::waitUntil([&] {
        alert = QApplication::activeModalWidget();
        return alert && alert->objectName() == QLatin1String("MainSplitViewAlert");
    }));
    EXPECT_FALSE(window.spinnerShown());
}

TEST_F(MainSplitViewTest, BadAddressesAlertAndStoreNothing) {
    Window window;
    const std::size_t feedsBefore = NodesSource::shared()->allFeeds().size();
    addFeed(server.url("stored"));
    NodesSource::shared()->addFolder("Évening");
    struct Case {
        const char* name;
        std::string address;
        std::optional<std::string> folder;
        const char* alert;  // nothing: no alert
    };
    const Case cases[] = {
        {"malformed", "http://[::1", std::nullopt, "not valid"},
        {"already added", server.url("stored"), std::nullopt, "already been added"},
        {"not there", server.missing(), std::nullopt, "download"},
        {"an existing folder in another case", "", std::string("EVENING"), nullptr},
        {"no address, no folder", "", std::nullopt, nullptr},
    };
    for (const auto& item : cases) {
        window.alerts.clear();
        window.perform(Action::addFeedFromFolder, item.address, item.folder);
        if (item.alert) {
            ASSERT_TRUE(test::waitUntil([&] { return !window.alerts.empty(); }, 20000)) << item.name;
            EXPECT_EQ(window.alerts.size(), 1u) << item.name;
        } else {
            settle(300);
            EXPECT_TRUE(window.alerts.empty()) << item.name;
        }
        window.closeAlerts();
        EXPECT_TRUE(test::waitUntil([&] { return !window.spinnerShown(); })) << item.name;
    }
    EXPECT_EQ(NodesSource::shared()->allFeeds().size(), feedsBefore + 1);
    const auto folders = NodesSource::shared()->allFolderNames();
    EXPECT_EQ(std::count(folders.begin(), folders.end(), std::string("Évening")), 1);
    EXPECT_EQ(std::count(folders.begin(), folders.end(), std::string("EVENING")), 0);
    // A new name makes the folder.
    window.perform(Action::addFeedFromFolder, std::string(), std::string("Morning"));
    EXPECT_TRUE(test::waitUntil([] { return NodesSource::shared()->folder("Morning").has_value(); }));
}

namespace {

// Answers the next file dialog the window opens with the path, or cancels it.
void answerFileDialog(const QString& path) {
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if ((dialog = qobject_cast<QFileDialog*>(widget)) && dialog->isVisible()) return true;
            return false;
        },
        5000));
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("OPML (*.opml *.xml)")});
    if (path.isEmpty()) return dialog->reject();
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept");
}

}  // namespace

TEST_F(MainSplitViewTest, OPMLIsExportedAndImportedThroughFileDialogsAndGarbageAlerts) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    addFeed(server.url("exported"));
    Window window;
    test::TempDir folder;
    const auto exported = folder.path() / "feeds.opml";
    window.perform(Action::exportOPML);
    answerFileDialog(QString::fromStdString(exported.string()));
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(exported); }));
    std::ifstream written(exported);
    const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(server.url("exported")), std::string::npos);

    // A cancelled panel does nothing.
    window.perform(Action::importOPML);
    answerFileDialog({});
    settle(200);
    EXPECT_FALSE(window.spinnerShown());

    const auto imported = folder.path() / "import.xml";
    std::ofstream(imported) << "<?xml version=\"1.0\"?><opml version=\"1.0\"><body><outline text=\"i\" xmlUrl=\""
                            << server.url("imported") << "\"/></body></opml>";
    window.perform(Action::importOPML);
    answerFileDialog(QString::fromStdString(imported.string()));
    ASSERT_TRUE(test::waitUntil([&] { return storedFeed(server.url("imported")).has_value(); }, 20000));
    EXPECT_TRUE(test::waitUntil([&] { return !window.spinnerShown(); }, 10000));
    EXPECT_TRUE(window.alerts.empty());

    const auto garbage = folder.path() / "garbage.opml";
    std::ofstream(garbage) << "\x01\x02 this is <not OPML";
    window.perform(Action::importOPML);
    answerFileDialog(QString::fromStdString(garbage.string()));
    ASSERT_TRUE(test::waitUntil([&] { return !window.alerts.empty(); }, 10000));
    EXPECT_EQ(window.alerts.size(), 1u);
    EXPECT_FALSE(window.spinnerShown());
}

TEST_F(MainSplitViewTest, LinksOpenOnlyAsWebMailOrFeedAndCopyToTheClipboard) {
    addFeed(server.url("links"));
    Window window;
    window.selectFeedRow(server.url("links"));
    LinkCatcher links;
    // The list selects its first article a moment after its rows arrive.
    ASSERT_TRUE(test::waitUntil([&] { return window.articles().selectedArticle().has_value(); }, 10000));
    const auto article = window.articles().selectedArticle();
    ASSERT_TRUE(article);
    struct Case {
        const char* link;
        bool opened;
    };
    const Case cases[] = {
        {"https://example.test/a", true},
        {"mailto:someone@example.test", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"", false},
    };
    for (const auto& item : cases) {
        article->context()->performAndWait([&] { article->setLink(std::string(item.link)); });
        links.opened.clear();
        window.perform(Action::viewSelectedArticleInDefaultBrowser);
        window.perform(Action::viewArticleInDefaultBrowser, *article);
        EXPECT_EQ(links.opened.size(), item.opened ? 2u : 0u) << item.link;
    }
    article->context()->performAndWait([&] { article->setLink(std::string("https://example.test/copied")); });
    QApplication::clipboard()->setText(QStringLiteral("before"));
    window.perform(Action::copyArticleURL);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("https://example.test/copied"));
    // Without a selection nothing is copied or opened.
    window.table()->selectionModel()->clearSelection();
    window.perform(Action::copyArticleURL);
    window.perform(Action::viewSelectedArticleInDefaultBrowser);
    window.perform(Action::markSelectedArticleAsUnread);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("https://example.test/copied"));
}

TEST_F(MainSplitViewTest, ThreePanesInALightAndADarkTheme) {
    for (const char* name : {"shotone", "shottwo", "shotthree"}) {
        server.setItems(name, 6);
        addFeed(server.url(name));
    }
    Window window(QSize(1280, 760));
    window.selectFeedRow(server.url("shotone"));
    window.perform(Action::showSmartGroup, FeedsSmartGroup::all);
    ASSERT_TRUE(test::waitUntil([&] { return window.articleRows() >= 18; }, 10000));
    window.table()->setFocus();
    window.perform(Action::showNextArticle);
    struct Case {
        ThemeType theme;
        const char* shot;
    };
    for (const Case item : {Case{ThemeType::latte, "split-view-latte"}, Case{ThemeType::dark, "split-view-dark"},
                            Case{ThemeType::espresso, "split-view-espresso"}}) {
        Preferences::shared()->setThemeType(item.theme);
        const auto colours = ThemesManager::shared().themeFor(item.theme)->colors();
        const QColor separator = colours.separator;
        // A translucent separator is seen over the window's background.
        const QColor under = colours.windowBackground;
        const double alpha = separator.alphaF();
        const QColor divided = QColor::fromRgbF(separator.redF() * alpha + under.redF() * (1 - alpha),
                                                separator.greenF() * alpha + under.greenF() * (1 - alpha),
                                                separator.blueF() * alpha + under.blueF() * (1 - alpha));
        ASSERT_TRUE(test::waitUntil([&] { return ThemesManager::shared().colors().separator == separator; }, 5000));
        settle(1500);  // the reader's page follows the theme
        test::Screenshot shot(window.window(), item.shot);
        EXPECT_TRUE(shot.saved());
        // The reader's page shows the theme's background, also after a switch
        // from a theme whose page was opaque.
        {
            const ThemeSettings settings = ThemesManager::shared().themeFor(item.theme)->settings();
            const QColor page = settings.useReaderBackgroundColor ? colours.readerBackground
                                                                  : contentMaterial(settings.readerStyle);
            QWidget* readerView = window.reader().view();
            const QPoint empty = readerView->mapTo(window.window(), QPoint(readerView->width() - 20, readerView->height() - 20));
            EXPECT_TRUE(shot.pixelNear(empty, page, 3))
                << item.shot << " " << test::Screenshot::describe(shot.pixel(empty)) << " vs " << test::Screenshot::describe(page);
        }
        // The sidebar's refresh button is there to be clicked.
        QToolButton* refresh = window.feeds().feedsManagementToolbar()->refreshButton();
        EXPECT_TRUE(refresh->isVisible()) << item.shot;
        EXPECT_TRUE(window.feeds().feedsManagementToolbar()->rect().contains(
            QRect(refresh->mapTo(window.feeds().feedsManagementToolbar(), QPoint()), refresh->size())))
            << item.shot << " " << refresh->x() << "," << refresh->y() << " " << refresh->width() << "x" << refresh->height()
            << " in " << window.feeds().feedsManagementToolbar()->width();
        // The divider between list and reader is the theme's separator colour.
        QWidget* reader = window.reader().view();
        const QPoint divider = reader->mapTo(window.window(), QPoint(-1, reader->height() / 2));
        EXPECT_TRUE(shot.pixelNear(divider, divided, 3))
            << item.shot << " " << test::Screenshot::describe(shot.pixel(divider)) << " "
            << test::Screenshot::describe(divided);
    }
}

#include "MainSplitViewControllerTest.moc"
