#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include "feeds/FeedsManager.h"
#include "platform/desktop/Application.h"
#include "store/Preferences.h"
#include "support/ui/Screenshot.h"
#include "window/AppDelegate.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/SidebarTestSupport.h"

using namespace tallowmere;
using graph::ObjectID;

namespace {

const QString shotsDir = QStringLiteral("/tmp/shots-sidebar2");

FeedsManager::Collaborators collaborators(test::SidebarStore& store) {
    FeedsManager::Collaborators c;
    c.dataController = store.controller;
    c.nodes = store.nodes;
    c.articles = store.articles.get();
    return c;
}

// The sidebar in a shown window, with a feeds manager over the same store.
struct ShownSidebar {
    explicit ShownSidebar(test::SidebarStore& store) : manager(collaborators(store)), data(store.controller) {
        auto services = store.services();
        services.feedsManager = &manager;
        controller = new FeedsViewController(services);
        window.setCentralWidget(controller->view());
        window.resize(280, 560);
        window.move(40, 40);
        desktop::Application::shared().setMainWindow(&window);
        window.show();
        desktop::Application::activate(&window);
        test::waitUntil([&] { return window.isActiveWindow(); }, 3000);
        tester = std::make_unique<QAbstractItemModelTester>(model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        outline()->setFocus();
    }
    ~ShownSidebar() {
        desktop::Application::shared().setMainWindow(nullptr);
        tester.reset();
        delete controller;
    }
    FeedsOutlineView* outline() { return controller->feedsOutlineView(); }
    FeedsOutlineModel* model() { return controller->outlineModel(); }
    int rowOf(const StoredObject& node) { return outline()->rowForIndex(model()->indexForItem(node.objectID())); }
    QPoint globalCentre(int row) {
        return outline()->viewport()->mapToGlobal(outline()->visualRect(outline()->indexAtRow(row)).center());
    }
    QLineEdit* editor() { return outline()->viewport()->findChild<QLineEdit*>("FeedsCellViewNameEditor"); }
    bool editorOpen() { return editor() && editor()->isVisible(); }
    std::string storedName(const StoredObject& node) {
        graph::Context& main = *data->mainContext();
        std::string name;
        main.performAndWait([&] {
            main.refresh(main.object(node.objectID()), false);
            name = Node(main.object(node.objectID())).name().value_or("");
        });
        return name;
    }

    FeedsManager manager;
    std::shared_ptr<DataController> data;
    QMainWindow window;
    FeedsViewController* controller;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST(FeedsViewControllerDrag, ARealDragDropsAFeedOntoAFolder) {
    if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "xdotool is not installed";
    test::SidebarStore store;
    Folder tech = store.addFolder("Tech");
    store.addFeed("Inside", tech);
    Feed top = store.addFeed("Top");
    ShownSidebar sidebar(store);
    sidebar.outline()->expand(sidebar.model()->indexForItem(tech.objectID()));
    const QPoint from = sidebar.globalCentre(sidebar.rowOf(top));
    const QPoint to = sidebar.globalCentre(sidebar.rowOf(tech));

    // Halfway, while the drag is under way: the whole screen, drag image included.
    bool sawDrag = false;
    QObject::connect(sidebar.outline(), &FeedsOutlineView::dragWillBegin, sidebar.outline(), [&] {
        QTimer::singleShot(500, sidebar.outline(), [&] {
            sawDrag = sidebar.controller->draggingNodeID() == top.objectID();
            QDir().mkpath(shotsDir);
            QGuiApplication::primaryScreen()->grabWindow(0).copy(QRect(sidebar.window.pos(), QSize(320, 600)))
                .save(shotsDir + "/sidebar_drag_in_progress.png");
        });
    });
    QProcess xdotool;
    auto at = [](const QPoint& p) { return QStringList{"mousemove", QString::number(p.x()), QString::number(p.y())}; };
    QStringList steps = at(from) + QStringList{"sleep", "0.2", "mousedown", "1", "sleep", "0.2"};
    for (int i = 1; i <= 6; ++i) steps += at(from + (to - from) * i / 6) + QStringList{"sleep", "0.1"};
    steps += QStringList{"sleep", "0.8"} + at(to + QPoint(0, 1)) + QStringList{"sleep", "0.3", "mouseup", "1"};
    xdotool.start("xdotool", steps);
    ASSERT_TRUE(xdotool.waitForStarted(5000));
    ASSERT_TRUE(test::waitUntil([&] { return xdotool.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
    EXPECT_TRUE(sawDrag) << "the dragged node was known during the drag";
    EXPECT_TRUE(test::waitUntil([&] { return !sidebar.controller->draggingNodeID(); }, 5000)) << "cleared at the end";
    store.settle();
    EXPECT_TRUE(test::waitUntil([&] { return sidebar.model()->parent(top.objectID()) == tech.objectID(); }, 5000))
        << "the feed went into the folder";
    EXPECT_EQ(sidebar.model()->storeTree(), sidebar.model()->snapshotTree());
    EXPECT_EQ(sidebar.model()->storeTree().children.at(tech.objectID()).size(), 2u);
}

TEST(FeedsViewControllerRename, OnlyFoldersAndNeverEmpty) {
    test::SidebarStore store;
    Folder tech = store.addFolder("Tech");
    Folder news = store.addFolder("News");
    Feed top = store.addFeed("Top");
    ShownSidebar sidebar(store);

    sidebar.controller->beginRename(sidebar.rowOf(top));
    EXPECT_FALSE(sidebar.editor()) << "a feed row: nothing";
    sidebar.controller->beginRename(3);
    sidebar.controller->beginRename(sidebar.outline()->numberOfRows());
    EXPECT_FALSE(sidebar.editor()) << "a smart group or no row: nothing";

    sidebar.controller->beginRename(sidebar.rowOf(tech));
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.editorOpen(); }, 3000));
    EXPECT_EQ(sidebar.editor()->text(), "Tech");
    EXPECT_EQ(sidebar.editor()->selectedText(), "Tech") << "all of it selected";
    test::Screenshot(sidebar.controller->view(), "sidebar_rename_editor")
        .image()
        .save(shotsDir + "/sidebar_rename_editor.png");

    // An empty name keeps the editor open and saves nothing.
    QTest::keyClick(sidebar.editor(), Qt::Key_Backspace);
    QTest::keyClick(sidebar.editor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_TRUE(sidebar.editorOpen());
    EXPECT_EQ(sidebar.storedName(tech), "Tech");

    // Another folder's name is taken, as typed.
    QTest::keyClicks(sidebar.editor(), " News ");
    QTest::keyClick(sidebar.editor(), Qt::Key_Return);
    EXPECT_TRUE(test::waitUntil([&] { return !sidebar.editorOpen(); }, 3000));
    EXPECT_TRUE(test::waitUntil([&] { return sidebar.storedName(tech) == " News "; }, 5000));
    EXPECT_EQ(sidebar.storedName(news), "News");
    EXPECT_TRUE(test::waitUntil(
        [&] { return sidebar.model()->indexForItem(tech.objectID()).data().toString() == " News "; }, 5000))
        << "the row shows the new name";

    // A pasted name with a line break stays on one line.
    sidebar.controller->beginRename(sidebar.rowOf(news));
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.editorOpen(); }, 3000));
    QGuiApplication::clipboard()->setText("Morning\nPapers");
    QTest::keyClick(sidebar.editor(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(sidebar.editor()->text(), "Morning Papers");
    QTest::keyClick(sidebar.editor(), Qt::Key_Return);
    EXPECT_TRUE(test::waitUntil([&] { return sidebar.storedName(news) == "Morning Papers"; }, 5000));
    EXPECT_TRUE(test::waitUntil([&] { return !sidebar.editorOpen(); }, 3000));

    // Escape closes without saving.
    sidebar.controller->beginRename(sidebar.rowOf(news));
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.editorOpen(); }, 3000));
    EXPECT_EQ(sidebar.editor()->text(), "Morning Papers");
    QTest::keyClicks(sidebar.editor(), "Dropped");
    QTest::keyClick(sidebar.editor(), Qt::Key_Escape);
    EXPECT_TRUE(test::waitUntil([&] { return !sidebar.editorOpen(); }, 3000));
    store.settle();
    EXPECT_EQ(sidebar.storedName(news), "Morning Papers");
}

TEST(FeedsViewControllerBadge, FollowsUnreadChanges) {
    test::SidebarStore store;
    Feed top = store.addFeed("Top");
    AppDelegate appDelegate;
    QObject* previous = desktop::Application::shared().delegate();
    desktop::Application::shared().setDelegate(&appDelegate);
    Preferences::shared()->setShowUnreadArticlesCountBadge(true);
    {
        ShownSidebar sidebar(store);
        store.addUnreadArticles(top, 3);
        EXPECT_TRUE(test::waitUntil([&] { return appDelegate.badge().label() == QString("3"); }, 5000))
            << appDelegate.badge().label().value_or("none").toStdString();
        EXPECT_EQ(sidebar.model()->indexForItem(top.objectID()).data(FeedsOutlineModel::CountRole).toLongLong(), 3);
        EXPECT_EQ(sidebar.model()->index(1, 0).data(FeedsOutlineModel::CountRole).toLongLong(), 3) << "unread group";
        store.remove(top);
        EXPECT_TRUE(test::waitUntil([&] { return !appDelegate.badge().label(); }, 5000)) << "no unread, no badge";
    }
    desktop::Application::shared().setDelegate(previous);
}

}  // namespace
