#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QKeyEvent>
#include <QMainWindow>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include "feeds/FeedsManager.h"
#include "platform/desktop/Application.h"
#include "sources/ArticlesSourceDelegate.h"
#include "store/Folder.h"
#include "support/ui/Screenshot.h"
#include "themes/ThemesManager.h"
#include "window/ActionRouter.h"
#include "window/AppDelegate.h"
#include "window/FeedAddViewController.h"
#include "window/FeedsManagementToolbar.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/SidebarTestSupport.h"

using namespace tallowmere;

// The window around the sidebar: records the keys the sidebar hands on,
// and carries out the add-feed action like the main window's controller.
class SidebarWindow : public QMainWindow, public ActionTarget {
public:
    bool respondsToAction(Action action) const override { return action == Action::addFeedFromFolder; }
    void performAction(Action, const ActionArguments& arguments) override {
        added.emplace_back(arguments.first<std::string>().value_or("?"), arguments.second<std::string>().value_or("?"));
    }
    std::vector<std::pair<std::string, std::string>> added;
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
};

namespace {

const QString shotsDir = QStringLiteral("/tmp/shots-sidebar2");

// Counts how often the article list is rebuilt for a new selection.
struct FeedsInfoCounter : ArticlesSourceDelegate {
    void articlesSourceDidReloadArticles() override { ++changes; }
    void articlesSourceWillChangeArticles() override {}
    void articlesSourceDidChangeArticle(std::optional<std::size_t>, graph::ResultsChange,
                                        std::optional<std::size_t>) override {}
    void articlesSourceDidChangeArticles() override {}
    void articlesSourceDidUpdate(const std::vector<Article>&) override {}
    int changes = 0;
};

struct Sidebar {
    explicit Sidebar(test::SidebarStore& store, FeedsManager* manager = nullptr)
        : controller(new FeedsViewController(store.services(manager))), data(store.controller) {
        window.setCentralWidget(controller->view());
        window.resize(260, 620);
        desktop::Application::shared().setMainWindow(&window);
        window.show();
        desktop::Application::activate(&window);
        test::waitUntil([&] { return window.isActiveWindow(); }, 3000);
        tester = std::make_unique<QAbstractItemModelTester>(model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        outline()->setFocus();
    }
    ~Sidebar() {
        desktop::Application::shared().setMainWindow(nullptr);
        tester.reset();
        delete controller;
    }
    FeedsOutlineView* outline() { return controller->feedsOutlineView(); }
    FeedsOutlineModel* model() { return controller->outlineModel(); }
    QRect rowRect(int row) { return outline()->visualRect(outline()->indexAtRow(row)); }
    void click(int row, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(outline()->viewport(), button, {}, rowRect(row).center() + QPoint(40, 0));
    }
    void rightClick(int row) {
        const QPoint at = rowRect(row).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, outline()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(outline()->viewport(), &event);
    }
    void key(int key) { QTest::keyClick(outline(), static_cast<Qt::Key>(key)); }
    int selectedRow() { return outline()->selectedRow(); }
    int rowOf(const StoredObject& node) { return outline()->rowForIndex(model()->indexForItem(node.objectID())); }
    QPoint globalCentre(int row) { return outline()->viewport()->mapToGlobal(rowRect(row).center()); }
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

    SidebarWindow window;
    FeedsViewController* controller;
    std::shared_ptr<DataController> data;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST(FeedsViewController, AUserSelectsSmartGroupsAndNodesButNeverAddOrSeparator) {
    test::SidebarStore store;
    Sidebar sidebar(store);
    ASSERT_EQ(sidebar.outline()->numberOfRows(), 6) << "the six smart groups on an empty store";
    EXPECT_EQ(sidebar.selectedRow(), 0) << "all at start-up";
    ASSERT_TRUE(store.articles->feedsInfo());
    EXPECT_EQ(*store.articles->feedsInfo(), ArticlesSourceFeedsInfo(std::nullopt, std::nullopt));
    for (int row = 0; row < 6; ++row) EXPECT_EQ(sidebar.rowRect(row).height(), 28) << row;

    const std::vector<std::pair<int, std::optional<ArticlesSourceFilter>>> groups = {
        {1, ArticlesSourceFilter::unread}, {2, ArticlesSourceFilter::today}, {3, ArticlesSourceFilter::starred},
        {0, std::nullopt}};
    for (const auto& [row, filter] : groups) {
        sidebar.click(row);
        EXPECT_EQ(sidebar.selectedRow(), row);
        EXPECT_EQ(store.articles->feedsInfo()->filter, filter) << row;
    }
    sidebar.click(5);
    EXPECT_EQ(sidebar.selectedRow(), 0) << "the separator is not for clicking";
    sidebar.click(3);
    sidebar.key(Qt::Key_Down);
    EXPECT_EQ(sidebar.selectedRow(), 3) << "nor for keying onto";
    sidebar.key(Qt::Key_S);
    sidebar.key(Qt::Key_A);
    EXPECT_EQ(sidebar.selectedRow(), 3) << "no type-to-select";
    sidebar.key(Qt::Key_Left);
    sidebar.key(Qt::Key_Right);
    std::vector<int> sideways;
    for (int key : sidebar.window.keys) {
        if (key == Qt::Key_Left || key == Qt::Key_Right) sideways.push_back(key);
    }
    EXPECT_EQ(sideways, (std::vector<int>{Qt::Key_Left, Qt::Key_Right})) << "left and right travel up";
}

TEST(FeedsViewController, StepsToNodesAndBackWithTheKeysAndPreviousFeed) {
    test::SidebarStore store;
    Folder folder = store.addFolder("Tech");
    Feed inside = store.addFeed("Inside", folder);
    Feed top = store.addFeed("Top");
    Sidebar sidebar(store);
    sidebar.click(3);
    sidebar.key(Qt::Key_Down);
    EXPECT_EQ(sidebar.selectedRow(), 6) << "keys pass over add and separator";
    sidebar.key(Qt::Key_Right);
    EXPECT_FALSE(sidebar.outline()->isExpanded(sidebar.model()->indexForItem(folder.objectID())))
        << "right never opens a folder";

    sidebar.controller->showPreviousFeed();
    EXPECT_EQ(sidebar.selectedRow(), 5) << "stepping up from the first node selects the separator";
    EXPECT_EQ(*store.articles->feedsInfo(), ArticlesSourceFeedsInfo(std::nullopt, std::nullopt));
    sidebar.click(0);
    sidebar.controller->showPreviousFeed();
    EXPECT_EQ(sidebar.selectedRow(), 0) << "row 0 stays";

    // The triangle: a square at x 21 that opens the folder when clicked.
    const QModelIndex folderIndex = sidebar.model()->indexForItem(folder.objectID());
    const QRect square = sidebar.outline()->frameOfOutlineCell(folderIndex);
    EXPECT_EQ(square.left(), 21);
    EXPECT_EQ(square.width(), square.height());
    QTest::mouseClick(sidebar.outline()->viewport(), Qt::LeftButton, {}, square.center());
    EXPECT_TRUE(sidebar.outline()->isExpanded(folderIndex));
    EXPECT_EQ(sidebar.rowOf(inside), sidebar.rowOf(folder) + 1);
    EXPECT_TRUE(sidebar.outline()->frameOfOutlineCell(sidebar.model()->indexForItem(inside.objectID())).isEmpty());

    sidebar.controller->selectFeed("https://top");
    EXPECT_EQ(sidebar.selectedRow(), sidebar.rowOf(top));
    sidebar.controller->selectFeed("https://nothing-like-it");
    EXPECT_EQ(sidebar.selectedRow(), sidebar.rowOf(top));
}

TEST(FeedsViewController, RemembersTheLastNodeAndTheOpenFoldersAcrossLaunches) {
    test::SidebarStore store;
    store.preferences->setSelectedFeedAtLaunch(SelectedFeedAtLaunch::last);
    Folder folder = store.addFolder("Tech");
    Feed inside = store.addFeed("Inside", folder);
    Feed top = store.addFeed("Top");
    {
        Sidebar first(store);
        first.outline()->expand(first.model()->indexForItem(folder.objectID()));
        first.click(first.rowOf(inside));
        first.click(1);  // a smart group leaves the remembered node alone
        EXPECT_EQ(store.state->defaults().string("LastSelectedNode"), inside.objectID().uriRepresentation());
    }
    {
        Sidebar second(store);
        EXPECT_TRUE(second.outline()->isExpanded(second.model()->indexForItem(folder.objectID())));
        EXPECT_EQ(second.selectedRow(), second.rowOf(inside)) << "restored, not unread";
        ASSERT_TRUE(store.articles->feedsInfo());
        EXPECT_EQ(store.articles->feedsInfo()->feeds->size(), 1u);
        second.outline()->collapse(second.model()->indexForItem(folder.objectID()));
    }
    {
        Sidebar third(store);
        EXPECT_EQ(third.selectedRow(), 0) << "in a collapsed folder: all";
        third.click(third.rowOf(top));
    }
    store.remove(top);
    const std::vector<std::pair<std::string, std::optional<std::string>>> fallbacks = {
        {"deleted", top.objectID().uriRepresentation()},
        {"garbage", std::string("\x01not a uri")},
        {"another store", std::string("tallowmere://00000000-0000-0000-0000-000000000000/Feed/p1")},
    };
    for (const auto& [what, saved] : fallbacks) {
        store.state->defaults().set("LastSelectedNode", *saved);
        Sidebar later(store);
        EXPECT_EQ(later.selectedRow(), 0) << what;
        EXPECT_EQ(store.state->defaults().string("LastSelectedNode"), saved) << "left as it was";
    }
    store.state->defaults().set("FeedsOutlineView", std::string("junk\n\ntallowmere://x/Folder/p99\n") +
                                                        folder.objectID().uriRepresentation());
    Sidebar corrupt(store);
    EXPECT_TRUE(corrupt.outline()->isExpanded(corrupt.model()->indexForItem(folder.objectID())))
        << "bad entries are passed over";
}

TEST(FeedsViewController, TheSameNodeAgainDoesNotRefetchAndChangeSetsKeepTheSelection) {
    test::SidebarStore store;
    Folder folder = store.addFolder("Tech");
    store.addFeed("Inside", folder);
    Feed top = store.addFeed("Top");
    Sidebar sidebar(store);
    auto counter = std::make_shared<FeedsInfoCounter>();
    store.articles->setDelegate(counter);
    sidebar.outline()->expand(sidebar.model()->indexForItem(folder.objectID()));
    sidebar.click(sidebar.rowOf(top));
    EXPECT_EQ(counter->changes, 1);

    // A change set reaches the tree row by row; folder and selection stay, the list is not rebuilt.
    store.addFeed("Another", folder);
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.outline()->numberOfRows() == 10; }, 3000));
    EXPECT_TRUE(sidebar.outline()->isExpanded(sidebar.model()->indexForItem(folder.objectID())));
    EXPECT_EQ(sidebar.selectedRow(), sidebar.rowOf(top));
    EXPECT_EQ(counter->changes, 1);
    sidebar.click(sidebar.rowOf(folder));
    EXPECT_EQ(counter->changes, 2);
    EXPECT_EQ(store.articles->feedsInfo()->feeds->size(), 2u) << "a folder lists its feeds";
}

TEST(FeedsViewController, TheAddRowOpensTheSheetAndKeepsTheList) {
    test::SidebarStore store;
    Feed top = store.addFeed("Top");
    Sidebar sidebar(store);
    sidebar.click(sidebar.rowOf(top));
    const auto shown = store.articles->feedsInfo();
    sidebar.click(4);
    EXPECT_TRUE(sidebar.outline()->highlightedIndex().isValid()) << "highlighted for one turn";
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.controller->presentedAddFeedSheet() != nullptr; }, 3000));
    EXPECT_FALSE(sidebar.outline()->highlightedIndex().isValid());
    EXPECT_EQ(sidebar.selectedRow(), -1);
    EXPECT_EQ(store.articles->feedsInfo(), shown);
    auto* sheet = sidebar.controller->presentedAddFeedSheet();
    ASSERT_TRUE(sheet->sheetWindow());
    EXPECT_EQ(sheet->sheetWindow()->windowModality(), Qt::WindowModal);
    QTest::keyClick(sheet->feedURLTextField(), Qt::Key_Escape);
    EXPECT_TRUE(test::waitUntil([&] { return sidebar.controller->presentedAddFeedSheet() == nullptr; }, 3000));
    EXPECT_TRUE(sidebar.window.added.empty()) << "Escape sends nothing";
}

TEST(FeedsViewController, AContextMenuBordersItsRowAndLeavesTheSelection) {
    test::SidebarStore store;
    Feed top = store.addFeed("Top");
    Sidebar sidebar(store);
    const int row = sidebar.rowOf(top);
    sidebar.rightClick(2);
    EXPECT_EQ(sidebar.outline()->contextMenu(), nullptr) << "smart groups have no menu";
    sidebar.rightClick(row);
    FeedsOutlineViewMenu* menu = sidebar.outline()->contextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->row(), row);
    EXPECT_EQ(menu->node().objectID(), top.objectID());
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.outline()->borderedIndex().isValid(); }, 3000));
    EXPECT_EQ(sidebar.selectedRow(), 0) << "the selection stays";
    test::Screenshot shot(sidebar.outline(), "sidebar_context_menu_border");
    const QRect border = sidebar.rowRect(row);
    const QColor rowBorder = ThemesManager::shared().colors().rowBorder;
    EXPECT_GT(shot.countNear(QRect(border.left() + 3, border.top(), 3, border.height()), rowBorder, 40), 10);
    menu->close();
    EXPECT_TRUE(test::waitUntil([&] { return !sidebar.outline()->borderedIndex().isValid(); }, 3000));
}

TEST(FeedsViewControllerDrag, ARealDragDropsAFeedOntoAFolder) {
    if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "xdotool is not installed";
    test::SidebarStore store;
    Folder tech = store.addFolder("Tech");
    store.addFeed("Inside", tech);
    Feed top = store.addFeed("Top");
    FeedsManager manager(store.feedsManagerCollaborators());
    Sidebar sidebar(store, &manager);
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
    FeedsManager manager(store.feedsManagerCollaborators());
    Sidebar sidebar(store, &manager);

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
        FeedsManager manager(store.feedsManagerCollaborators());
        Sidebar sidebar(store, &manager);
        store.addUnreadArticles(top, 3);
        EXPECT_TRUE(test::waitUntil([&] { return appDelegate.badge().label() == QString("3"); }, 20000))
            << appDelegate.badge().label().value_or("none").toStdString();
        EXPECT_EQ(sidebar.model()->indexForItem(top.objectID()).data(FeedsOutlineModel::CountRole).toLongLong(), 3);
        EXPECT_EQ(sidebar.model()->index(1, 0).data(FeedsOutlineModel::CountRole).toLongLong(), 3) << "unread group";
        store.remove(top);
        EXPECT_TRUE(test::waitUntil([&] { return !appDelegate.badge().label(); }, 20000)) << "no unread, no badge";
    }
    desktop::Application::shared().setDelegate(previous);
}

TEST(FeedsViewController, TheSelectionLooksTheSameInAnInactiveWindow) {
    test::SidebarStore store;
    store.addFeed("Top");
    Sidebar sidebar(store);
    const QPoint probe = sidebar.rowRect(0).topLeft() + QPoint(6, 4);
    test::Screenshot active(sidebar.outline(), "sidebar_selection_active");
    QWidget other;
    other.resize(100, 100);
    other.show();
    desktop::Application::activate(&other);
    test::waitUntil([&] { return !sidebar.window.isActiveWindow(); }, 3000);
    test::Screenshot inactive(sidebar.outline(), "sidebar_selection_inactive");
    EXPECT_EQ(active.pixel(probe), inactive.pixel(probe));
    EXPECT_NE(active.pixel(probe), active.pixel(sidebar.rowRect(1).topLeft() + QPoint(6, 4)))
        << "the selected row is drawn";
}

}  // namespace

namespace {

// The colour drawn at `alpha` (times its own alpha) over an opaque one.
QColor blend(const QColor& top, const QColor& under, double alpha) {
    alpha *= top.alphaF();
    return QColor::fromRgbF(top.redF() * alpha + under.redF() * (1 - alpha),
                            top.greenF() * alpha + under.greenF() * (1 - alpha),
                            top.blueF() * alpha + under.blueF() * (1 - alpha));
}

TEST(FeedsViewController, ScreenshotsInEveryTheme) {
    test::SidebarStore store;
    store.seedTwelveFeeds();
    Sidebar sidebar(store);
    store.articles->setSortUnreadAscending(true);
    QWidget* pane = sidebar.controller->view();
    FeedsOutlineModel* model = sidebar.model();
    // Tech open, News and Science closed; a feed of Tech selected.
    auto rootNamed = [&](const QString& name) {
        return model->match(model->index(6, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly).value(0);
    };
    const QModelIndex tech = rootNamed("Tech");
    ASSERT_TRUE(tech.isValid());
    sidebar.outline()->expand(tech);
    sidebar.click(sidebar.outline()->rowForIndex(model->index(1, 0, tech)));
    const ThemePointer original = ThemesManager::shared().theme();

    const std::vector<std::pair<ThemeType, const char*>> themes = {
        {ThemeType::espresso, "espresso"}, {ThemeType::dark, "dark"},   {ThemeType::cocoa, "cocoa"},
        {ThemeType::latte, "latte"},       {ThemeType::caramel, "caramel"}, {ThemeType::raspberry, "raspberry"},
        {ThemeType::mint, "mint"},         {ThemeType::mocha, "mocha"}};
    for (const auto& [type, name] : themes) {
        ThemesManager::shared().setTheme(ThemesManager::shared().themeFor(type));
        sidebar.controller->applyTheme();
        const ThemeColors& colors = ThemesManager::shared().colors();
        const ThemeSettings& settings = ThemesManager::shared().settings();
        test::Screenshot shot(pane, QStringLiteral("sidebar_theme_%1").arg(name));
        const QPoint origin = sidebar.outline()->mapTo(pane, QPoint(0, 0));
        auto rowRect = [&](int row) { return sidebar.rowRect(row).translated(origin); };

        // The pane's background: the theme's gradient, or the sidebar's plain look.
        if (settings.useFeedsBackgroundColors) {
            ASSERT_TRUE(sidebar.controller->gradientView()) << name;
            // Over the window's own background where the colours are translucent.
            const QColor window = sidebar.window.palette().color(QPalette::Window);
            EXPECT_TRUE(shot.pixelNear(QPoint(10, 2), blend(colors.feedsTopBackground, window, 1.0), 4)) << name;
            EXPECT_TRUE(shot.pixelNear(QPoint(10, pane->height() - 2), blend(colors.feedsBottomBackground, window, 1.0), 4))
                << name;
        } else {
            EXPECT_FALSE(sidebar.controller->gradientView()) << name;
        }
        // A closed folder's triangle in the buttons' colour, at x 21.
        const QRect news = rowRect(sidebar.outline()->rowForIndex(rootNamed("News")));
        EXPECT_GT(shot.countNear(QRect(21, news.top(), 28, 28), colors.feedsButtons, 12), 4) << name;
        // The unread group's name in orange while the oldest come first.
        const QColor unreadBackground = shot.pixel(rowRect(1).left() + 4, rowRect(1).center().y());
        EXPECT_GT(shot.countNear(rowRect(1).adjusted(48, 0, -60, 0), blend(QColor(0xff, 0x95, 0x00), unreadBackground, 0.8), 16), 4)
            << name;
        // An unselected feed's name in the theme's colour at 0.8.
        const QRect feedRow = rowRect(sidebar.outline()->rowForIndex(model->index(0, 0, tech)));
        const QColor background = shot.pixel(feedRow.left() + 4, feedRow.center().y());
        EXPECT_GT(shot.countNear(feedRow.adjusted(48, 0, -60, 0), blend(colors.feedName, background, 0.8), 28), 3)
            << name;
        // Icons on their discs at 26 + 28 x level: a top-level feed and one in Tech.
        const QRect topFeed = rowRect(6);
        const QRect childFeed = rowRect(sidebar.outline()->rowForIndex(model->index(0, 0, tech)));
        const QColor topBackground = shot.pixel(topFeed.left() + 4, topFeed.center().y());
        EXPECT_NE(shot.pixel(26 + 8, topFeed.center().y()), topBackground) << name;
        EXPECT_EQ(shot.pixel(26 + 8, childFeed.center().y()), background) << name;
        EXPECT_NE(shot.pixel(54 + 8, childFeed.center().y()), background) << name;
        // The selected row stands out from its neighbours.
        const QRect selected = rowRect(sidebar.selectedRow());
        EXPECT_NE(shot.pixel(selected.left() + 4, selected.top() + 3), background) << name;
        // The scroll bar's knob: dark on a light sidebar, light on a dark one.
        const QString knob = settings.feedsStyle == ThemeStyle::light ? "#80000000" : "#80ffffff";
        EXPECT_TRUE(sidebar.outline()->verticalScrollBar()->styleSheet().contains(knob)) << name;
    }
    ThemesManager::shared().setTheme(original);
    sidebar.controller->applyTheme();
}

}  // namespace
