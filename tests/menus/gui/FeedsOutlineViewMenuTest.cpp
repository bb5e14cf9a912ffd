#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cloud/ContainerCloudUserManager.h"
#include "feeds/FeedsManager.h"
#include "feeds/SearchManagerFeedsIndex.h"
#include "menus/FeedsOutlineViewMenu.h"
#include "menus/gui/CloudRecorders.h"
#include "menus/gui/MenuTestSupport.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Container.h"
#include "platform/desktop/Application.h"
#include "sources/SearchManager.h"
#include "support/ui/Screenshot.h"
#include "themes/ThemesManager.h"
#include "window/ActionRouter.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/SidebarTestSupport.h"

using namespace tallowmere;
using test::entry;
using test::titles;
using test::waitUntil;

namespace {

// The window around the sidebar: it takes a folder row's renaming, as the
// main window's controller does.
class SidebarWindow : public QMainWindow, public ActionTarget {
public:
    bool respondsToAction(Action action) const override { return action == Action::renameFolderAt; }
    void performAction(Action, const ActionArguments& arguments) override {
        renamedRows.push_back(arguments.first<int>().value_or(-1));
    }
    std::vector<int> renamedRows;
};

std::string text(const char* key) { return FeedsOutlineViewMenu::localized(key); }

std::optional<bool> availability(CloudUserManager& user) {
    auto answer = std::make_shared<std::optional<bool>>();
    auto done = std::make_shared<std::atomic<bool>>(false);
    user.checkCloudAvailability([answer, done](std::optional<bool> available) {
        *answer = available;
        *done = true;
    });
    EXPECT_TRUE(waitUntil([&] { return done->load(); }, 20000));
    return *answer;
}

// The real sidebar over a real store in a temporary folder, the feed engine
// that deletes its nodes, and the cloud managers behind call recorders.
class FeedsOutlineViewMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        search = std::make_unique<SearchManager>(store.dir.path() / "Tallowmere.index", store.controller);
        FeedsManager::Collaborators collaborators;
        collaborators.dataController = store.controller;
        collaborators.nodes = store.nodes;
        collaborators.articles = store.articles.get();
        collaborators.search = std::make_shared<SearchManagerFeedsIndex>(*search);
        collaborators.cloudEnabled = [] { return true; };
        feeds = std::make_unique<FeedsManager>(collaborators);
        FeedsOutlineViewMenu::Services::setShared(FeedsOutlineViewMenu::Services{store.nodes, feeds.get()});
    }
    void TearDown() override {
        FeedsOutlineViewMenu::Services::setShared(std::nullopt);
        desktop::Application::shared().setMainWindow(nullptr);
        delete controller;
        feeds.reset();
        search->searchQueue().sync([] {});
        search.reset();
        cloud.reset();
    }

    void useCloud(std::shared_ptr<CloudUserManager> user) {
        cloud.reset();  // its end puts the stand-ins back
        cloud = std::make_unique<test::RecordedCloud>(std::move(user));
    }
    // The user manager of an account on a cloud file of the test's folder (signed in), or of no cloud.
    std::shared_ptr<CloudUserManager> cloudUser(bool signedIn) {
        auto container = cloud::Container::make(signedIn ? cloud::Configuration::localFile(store.dir.path() / "cloud.sqlite", "alice")
                                                         : cloud::Configuration::none());
        auto user = std::make_shared<ContainerCloudUserManager>([container] { return container; }, [] { return true; });
        // The feed lists are those of the test's store: the shared store
        // would be opened in a folder the test's end removes.
        user->setFeedListServices({[nodes = store.nodes] { return nodes; }, {}, {}});
        return user;
    }

    void showSidebar() {
        controller = new FeedsViewController(store.services());
        window.setCentralWidget(controller->view());
        window.resize(300, 620);
        desktop::Application::shared().setMainWindow(&window);
        window.show();
        desktop::Application::activate(&window);
        ASSERT_TRUE(waitUntil([&] { return window.isActiveWindow(); }, 5000));
        outline()->setFocus();
    }
    FeedsOutlineView* outline() { return controller->feedsOutlineView(); }
    int rowOf(const StoredObject& node) {
        return outline()->rowForIndex(controller->outlineModel()->indexForItem(node.objectID()));
    }
    QRect rowRect(int row) { return outline()->visualRect(outline()->indexAtRow(row)); }
    // The menu of a right click at that point of the outline, if one opened.
    FeedsOutlineViewMenu* rightClick(QPoint at) {
        QPointer<FeedsOutlineViewMenu> before = outline()->contextMenu();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, outline()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(outline()->viewport(), &event);
        FeedsOutlineViewMenu* menu = outline()->contextMenu();
        if (!menu || menu == before) return nullptr;
        waitUntil([&] { return menu->isVisible(); }, 5000);
        return menu;
    }
    FeedsOutlineViewMenu* rightClick(const StoredObject& node) { return rightClick(rowRect(rowOf(node)).center()); }
    void expandAll() {
        outline()->expandAll();
        QApplication::processEvents();
    }

    bool notifies(const Feed& feed) {
        bool value = false;
        store.controller->backgroundContext()->performAndWait([&] {
            store.controller->backgroundContext()->refresh(feed.object(), false);
            value = feed.notifyUpdates();
        });
        return value;
    }
    void setNotifies(const Feed& feed, bool notify) {
        store.nodes->setNotifyUpdates(feed, notify);
        store.settle();
    }
    std::string urlOf(const Feed& feed) {
        std::string url;
        feed.context()->performAndWait([&] { url = feed.url().value_or(""); });
        return url;
    }
    bool stored(const std::string& name) {
        for (const Feed& feed : store.nodes->allFeeds()) {
            bool same = false;
            feed.context()->performAndWait([&] { same = feed.name() == name; });
            if (same) return true;
        }
        return store.nodes->folder(name).has_value();
    }
    // Clicks the entry of the open menu; the menu closes and goes.
    static void choose(QMenu* menu, const std::string& title) {
        ASSERT_NE(menu, nullptr);
        QAction* action = entry(*menu, title);
        ASSERT_NE(action, nullptr) << title;
        QPointer<QMenu> open = menu;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        EXPECT_TRUE(waitUntil([&] { return !open; }, 5000)) << "released once closed";
    }

    test::SidebarStore store;
    std::unique_ptr<SearchManager> search;
    std::unique_ptr<FeedsManager> feeds;
    std::unique_ptr<test::RecordedCloud> cloud;
    SidebarWindow window;
    FeedsViewController* controller = nullptr;
};

TEST_F(FeedsOutlineViewMenuTest, AFeedAFolderAndNoRowGiveTheirMenus) {
    Folder folder = store.addFolder("Tech");
    Feed inFolder = store.addFeed("Kernel Weekly", folder);
    Feed quiet = store.addFeed("Quiet");
    Feed loud = store.addFeed("Loud");
    setNotifies(loud, true);
    showSidebar();
    expandAll();
    const std::string notify = text("notify_updates"), copy = text("copy_feed_url"), rename = text("rename"),
                      remove = text("remove");
    struct Case {
        StoredObject node;
        std::vector<std::string> shape;
        bool checked;
    };
    for (const Case& c : {Case{loud, {notify, copy, "-", remove}, true}, Case{quiet, {notify, copy, "-", remove}, false},
                          Case{inFolder, {notify, copy, "-", remove}, false}, Case{folder, {rename, "-", remove}, false}}) {
        FeedsOutlineViewMenu* menu = rightClick(c.node);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(titles(*menu), c.shape);
        EXPECT_EQ(menu->title(), QString());
        for (QAction* action : menu->actions()) EXPECT_TRUE(action->shortcut().isEmpty());
        if (QAction* item = entry(*menu, notify)) {
            EXPECT_TRUE(item->isCheckable());
            EXPECT_EQ(item->isChecked(), c.checked);
        }
        menu->close();
    }
    const int last = outline()->numberOfRows() - 1;
    EXPECT_EQ(rightClick(QPoint(40, rowRect(last).bottom() + 30)), nullptr) << "below the last row";
}

TEST_F(FeedsOutlineViewMenuTest, NotifyFollowsTheChoiceLocallyAndInTheCloudSignedInOrOut) {
    for (const bool signedIn : {true, false}) {
        SCOPED_TRACE(signedIn ? "signed in" : "signed out");
        useCloud(cloudUser(signedIn));
        Feed first = store.addFeed(signedIn ? "First In" : "First Out");
        Feed second = store.addFeed(signedIn ? "Second In" : "Second Out");
        setNotifies(first, true);
        setNotifies(second, true);
        if (!controller) showSidebar();
        EXPECT_EQ(availability(*cloud->user), signedIn);

        // Off: stored, then the subscription of the feeds that still notify,
        // then the record's notification lists, without a newsletter time.
        FeedsOutlineViewMenu* menu = rightClick(first);
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(entry(*menu, text("notify_updates"))->isChecked());
        cloud->log->clear();
        choose(menu, text("notify_updates"));
        EXPECT_FALSE(notifies(first));
        EXPECT_TRUE(notifies(second));
        ASSERT_TRUE(waitUntil([&] { return cloud->log->calls().size() == 2; }, 10000));
        const std::vector<std::string> off = {"subscribe " + urlOf(second), "save notification lists"};
        EXPECT_EQ(cloud->log->calls(), off);

        // And on again from a new menu, which shows it off.
        menu = rightClick(first);
        ASSERT_NE(menu, nullptr);
        EXPECT_FALSE(entry(*menu, text("notify_updates"))->isChecked());
        cloud->log->clear();
        choose(menu, text("notify_updates"));
        EXPECT_TRUE(notifies(first));
        ASSERT_TRUE(waitUntil([&] { return cloud->log->calls().size() == 2; }, 10000));
        auto subscribed = cloud->log->calls().front();
        EXPECT_NE(subscribed.find(urlOf(first)), std::string::npos) << subscribed;
        EXPECT_NE(subscribed.find(urlOf(second)), std::string::npos) << subscribed;
        setNotifies(first, false);
        setNotifies(second, false);
    }
}

TEST_F(FeedsOutlineViewMenuTest, CopyPutsExactlyTheFeedAddressOnTheClipboard) {
    useCloud(cloudUser(false));
    Feed feed = store.addFeed("Orbit Log");
    Feed noURL = store.addFeed("No Address");
    store.controller->backgroundContext()->performAndWait([&] {
        noURL.setUrl(std::nullopt);
        ASSERT_TRUE(store.controller->backgroundContext()->save().ok());
    });
    store.settle();
    showSidebar();
    QClipboard* clipboard = QGuiApplication::clipboard();

    clipboard->setText(QStringLiteral("before"));
    choose(rightClick(feed), text("copy_feed_url"));
    EXPECT_EQ(clipboard->text().toStdString(), urlOf(feed));
    EXPECT_EQ(clipboard->mimeData()->formats().contains(QStringLiteral("text/html")), false);

    clipboard->setText(QStringLiteral("before"));
    choose(rightClick(noURL), text("copy_feed_url"));
    EXPECT_EQ(clipboard->text(), QStringLiteral("before")) << "a feed without address leaves it as it was";
}

TEST_F(FeedsOutlineViewMenuTest, RenameSendsTheFolderRowToTheWindow) {
    Folder folder = store.addFolder("Science");
    store.addFeed("Field Journal", folder);
    showSidebar();
    const int row = rowOf(folder);
    choose(rightClick(folder), text("rename"));
    ASSERT_EQ(window.renamedRows, std::vector<int>{row});
    EXPECT_EQ(outline()->indexAtRow(row), controller->outlineModel()->indexForItem(folder.objectID()));
}

TEST_F(FeedsOutlineViewMenuTest, RemoveAsksFirstAndOnlyOkDeletesTheFolderWithItsFeeds) {
    useCloud(cloudUser(true));
    Folder folder = store.addFolder("News");
    store.addFeed("World Report", folder);
    store.addFeed("City Desk", folder);
    Feed other = store.addFeed("Recipe Box");
    showSidebar();

    auto seen = test::answerNextAlert(QString::fromStdString(text("cancel")));
    choose(rightClick(folder), text("remove"));
    ASSERT_TRUE(seen->shown);
    EXPECT_EQ(seen->text.toStdString(), text("remove_confirmation"));
    EXPECT_EQ(seen->informativeText, QStringLiteral("News"));
    EXPECT_EQ(seen->buttons, (std::vector<std::string>{"accept " + text("ok"), "reject " + text("cancel")}));
    store.settle();
    EXPECT_TRUE(stored("News"));
    EXPECT_TRUE(stored("World Report"));
    EXPECT_TRUE(cloud->log->calls().empty());

    seen = test::answerNextAlert(QString::fromStdString(text("ok")));
    choose(rightClick(folder), text("remove"));
    ASSERT_TRUE(seen->shown);
    ASSERT_TRUE(waitUntil([&] { return !stored("News"); }, 10000));
    store.settle();
    EXPECT_FALSE(stored("World Report"));
    EXPECT_FALSE(stored("City Desk"));
    EXPECT_TRUE(stored("Recipe Box"));
    EXPECT_EQ(rowOf(other) >= 0, true);
    // The record's lists (its feed list with them) are written again.
    ASSERT_TRUE(waitUntil([&] { return !cloud->log->calls().empty(); }, 10000));
    EXPECT_EQ(cloud->log->calls(), std::vector<std::string>{"save all lists"});
}

TEST_F(FeedsOutlineViewMenuTest, ALongOrMultiLineNameIsShownElidedOnOneLineAsPlainText) {
    Feed feed = store.addFeed("Long");
    const std::string name = "<b>Bold</b>\nsecond line\r\n" + std::string(10000, 'x') + "\nlast";
    store.nodes->setName(feed, name);
    store.settle();
    showSidebar();
    auto seen = test::answerNextAlert(QString::fromStdString(text("cancel")));
    choose(rightClick(feed), text("remove"));
    ASSERT_TRUE(seen->shown);
    EXPECT_FALSE(seen->informativeText.contains(QLatin1Char('\n')));
    EXPECT_FALSE(seen->informativeText.contains(QLatin1Char('\r')));
    EXPECT_TRUE(seen->informativeText.startsWith(QStringLiteral("<b>Bold</b> second line"))) << seen->informativeText.left(40).toStdString();
    EXPECT_TRUE(seen->informativeText.contains(QChar(0x2026)));
    EXPECT_TRUE(seen->informativeText.endsWith(QStringLiteral("last")));
    EXPECT_EQ(seen->informativeFormat, Qt::PlainText);
    EXPECT_TRUE(seen->screen.contains(seen->frame)) << seen->frame.width() << "x" << seen->frame.height();
    EXPECT_TRUE(stored(name));
}

TEST_F(FeedsOutlineViewMenuTest, ANodeDeletedWhileItsMenuIsOpenIsLeftAlone) {
    useCloud(cloudUser(true));
    Feed feed = store.addFeed("Vanishing");
    Feed kept = store.addFeed("Kept");
    setNotifies(feed, true);
    showSidebar();
    QPointer<FeedsOutlineViewMenu> menu = rightClick(feed);
    ASSERT_TRUE(menu);
    const Node held = menu->node();
    store.remove(feed);
    ASSERT_TRUE(waitUntil([&] { return held.isDeleted(); }, 10000));
    ASSERT_TRUE(menu);

    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    menu->copyFeedURL();
    EXPECT_EQ(clipboard->text(), QStringLiteral("before"));

    // The notify choice stores nothing; the lists follow the feeds that notify.
    cloud->log->clear();
    menu->toggleNotifyUpdates(true);
    ASSERT_TRUE(waitUntil([&] { return cloud->log->calls().size() == 2; }, 10000));
    EXPECT_EQ(cloud->log->calls(), (std::vector<std::string>{"subscribe", "save notification lists"}));
    EXPECT_FALSE(notifies(kept));

    // The alert's own event loop may close and release the open menu.
    auto seen = test::answerNextAlert(QString::fromStdString(text("ok")));
    cloud->log->clear();
    menu->removeNode();
    ASSERT_TRUE(seen->shown);
    EXPECT_EQ(seen->informativeText, QString());
    store.settle();
    EXPECT_TRUE(stored("Kept"));
    EXPECT_TRUE(cloud->log->calls().empty()) << "nothing deleted, nothing to write";
    if (menu) menu->close();
}

TEST_F(FeedsOutlineViewMenuTest, TheClickedRowIsBorderedWhileTheMenuIsOpen) {
    store.seedTwelveFeeds();
    showSidebar();
    expandAll();
    std::optional<Feed> target;
    for (const Feed& feed : store.nodes->allFeeds()) {
        std::string name;
        feed.context()->performAndWait([&] { name = feed.name().value_or(""); });
        if (name == "City Desk") target = feed;
    }
    ASSERT_TRUE(target);
    const int row = rowOf(*target);
    ASSERT_NE(outline()->selectedRow(), row);
    QPointer<FeedsOutlineViewMenu> menu = rightClick(*target);
    ASSERT_TRUE(menu);
    ASSERT_TRUE(waitUntil([&] { return outline()->borderedIndex().isValid(); }, 5000));
    EXPECT_EQ(outline()->rowForIndex(outline()->borderedIndex()), row);
    QApplication::processEvents();
    const QColor rowBorder = ThemesManager::shared().colors().rowBorder;
    const QRect rect = rowRect(row);
    const QRect leftEdge(rect.left() + 3, rect.top(), 3, rect.height());
    {
        // The whole screen, so that the open menu is in the picture too.
        const QPixmap screen = window.screen()->grabWindow(0);
        screen.save(QStringLiteral(TALLOWMERE_SCREENSHOTS_DIR "/sidebar_menu_open_screen.png"));
        test::Screenshot shot(outline(), QStringLiteral("sidebar_menu_open"));
        EXPECT_GT(shot.countNear(leftEdge, rowBorder, 40), 10);
    }
    menu->hide();  // closed without a choice
    ASSERT_TRUE(waitUntil([&] { return !outline()->borderedIndex().isValid(); }, 5000));
    QApplication::processEvents();
    test::Screenshot shot(outline(), QStringLiteral("sidebar_menu_closed"));
    EXPECT_EQ(shot.countNear(leftEdge, rowBorder, 40), 0);
}

}  // namespace
