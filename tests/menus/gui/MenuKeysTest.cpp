// The menu bar's keys as a user types them, in the program's main window
// on a private X display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "menus/EditMenuItem.h"
#include "menus/MainMenu.h"
#include "menus/WindowMenuItem.h"
#include "menus/AppMenuItem.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/ViewController.h"
#include "prefs/PreferencesWindow.h"
#include "prefs/PreferencesWindowController.h"
#include "reader/ReaderReadMode.h"
#include "sources/ArticlesSourceFilter.h"
#include "store/Preferences.h"
#include "support/ui/Screenshot.h"
#include "support/ui/UiWait.h"
#include "window/ActionTarget.h"
#include "window/AppDelegate.h"
#include "window/FeedAddViewController.h"
#include "window/FeedsSmartGroup.h"
#include "window/MainContent.h"
#include "window/MainWindow.h"
#include "window/MainWindowController.h"
#include "window/TerminationCoordinator.h"

using namespace tallowmere;

namespace {

// Fills the main window in place of the three panes: a search field and a
// list, and it carries out every window command by recording it.
class RecordingContent : public desktop::ViewController, public MainContent, public ActionTarget {
    Q_OBJECT
public:
    desktop::ViewController& contentController() override { return *this; }
    void refreshFeeds() override {}
    bool respondsToAction(Action) const override { return true; }
    void performAction(Action action, const ActionArguments& arguments) override {
        received.push_back(action);
        objects.push_back(arguments);
    }

    QLineEdit* searchField = nullptr;
    QListWidget* list = nullptr;
    std::vector<Action> received;
    std::vector<ActionArguments> objects;

protected:
    void loadView() override {
        auto* view = new QWidget;
        auto* layout = new QVBoxLayout(view);
        searchField = new QLineEdit(view);
        list = new QListWidget(view);
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->addItems({"One", "Two", "Three"});
        layout->addWidget(searchField);
        layout->addWidget(list);
        setView(view);
    }
};

void settle() { test::waitUntil([] { return false; }, 50); }

// Without a window manager a window takes the keys only once it is on screen.
bool activate(QWidget* window) {
    window->show();
    if (!test::waitUntil([window] { return window->windowHandle() && window->windowHandle()->isExposed(); }, 20000)) return false;
    desktop::Application::activate(window);
    return test::waitUntil([window] { return QApplication::activeWindow() == window; }, 10000);
}

struct MainWindowWithMenu {
    RecordingContent* content = new RecordingContent;
    MainWindowController controller{content};
    MainMenu* bar = nullptr;

    MainWindowWithMenu() {
        Preferences::shared()->setFeedsRefreshInterval(FeedsRefreshInterval::never);
        bar = new MainMenu(controller.window());
        controller.window()->setMenuBar(bar);
        controller.showWindow();
        EXPECT_TRUE(activate(controller.window()));
    }
    ~MainWindowWithMenu() { desktop::Application::shared().setMainWindow(nullptr); }

    // The key, typed into the focused widget; the commands it sent.
    std::vector<Action> type(QWidget* focus, char key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        content->received.clear();
        content->objects.clear();
        focus->setFocus();
        EXPECT_TRUE(test::waitUntil([focus] { return focus->hasFocus(); }));
        QTest::keyClick(focus, key, modifiers);
        settle();
        return content->received;
    }
};

std::string keyName(char key, Qt::KeyboardModifiers modifiers) {
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(QChar(key).toUpper().unicode()))).toString().toStdString() +
           " '" + key + "'";
}

}  // namespace

TEST(MenuKeys, TheListActsOnEveryChord) {
    MainWindowWithMenu main;
    const auto none = Qt::NoModifier, ctrl = Qt::ControlModifier, alt = Qt::AltModifier, shift = Qt::ShiftModifier,
               meta = Qt::MetaModifier;
    struct Case {
        char key;
        Qt::KeyboardModifiers modifiers;
        std::vector<Action> actions;
    };
    const Case cases[] = {
        {'j', none, {Action::showNextArticle}},
        {'k', none, {Action::showPreviousArticle}},
        {'u', none, {Action::markSelectedArticleAsUnread}},
        {'s', none, {Action::markSelectedArticleAsStarred}},
        {'f', none, {Action::showFullArticle}},
        {'1', none, {Action::setReaderReadMode}},
        {'2', none, {Action::setReaderReadMode}},
        {'3', none, {Action::viewSelectedArticleInDefaultBrowser}},
        {'1', ctrl, {Action::showSmartGroup}},
        {'2', ctrl, {Action::showSmartGroup}},
        {'3', ctrl, {Action::showSmartGroup}},
        {'1', ctrl | alt, {Action::setArticlesFilter}},
        {'2', ctrl | alt, {Action::setArticlesFilter}},
        {'3', ctrl | alt, {Action::setArticlesFilter}},
        {'[', none, {Action::showPreviousArticle}},
        {']', none, {Action::showNextArticle}},
        {'\\', none, {Action::showArticlesSearchField}},
        {'[', ctrl, {}},
        {']', alt, {}},
        {'\\', ctrl | alt, {}},
        {'c', ctrl | shift, {Action::copyArticleURL}},
        {'a', ctrl | alt, {Action::addFeed}},
        {'a', ctrl | shift, {Action::showOldestUnreadArticlesFirst}},
        {'s', ctrl | shift, {Action::showNewestUnreadArticlesFirst}},
        {'g', ctrl | shift, {Action::toggleGroupArticlesByFeed}},
        {'a', meta, {Action::articlesMarkAsRead}},
        {'a', alt | shift, {Action::articlesMarkAsRead}},
        {'f', ctrl | alt, {Action::showArticlesSearchField}},
        {'r', ctrl, {Action::refreshFeeds}},
        {'n', ctrl, {Action::showNextFeed}},
        {'p', ctrl, {Action::showPreviousFeed}},
        // Select all is the list's own.
        {'a', ctrl, {}},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(main.type(main.content->list, item.key, item.modifiers), item.actions) << keyName(item.key, item.modifiers);
    }
    // The objects go along: the modes, the groups and the filters.
    main.type(main.content->list, '2');
    EXPECT_EQ(main.content->objects.at(0).first<ReaderReadMode>(), ReaderReadMode::web);
    main.type(main.content->list, '3', ctrl);
    EXPECT_EQ(main.content->objects.at(0).first<FeedsSmartGroup>(), FeedsSmartGroup::today);
    main.type(main.content->list, '1', ctrl | alt);
    EXPECT_FALSE(main.content->objects.at(0).first<ArticlesSourceFilter>());
    main.type(main.content->list, '4', ctrl | alt);
    EXPECT_EQ(main.content->objects.at(0).first<ArticlesSourceFilter>(), ArticlesSourceFilter::starred);

    main.content->list->clearSelection();
    main.type(main.content->list, 'a', ctrl);
    EXPECT_EQ(main.content->list->selectedItems().size(), 3);
}

TEST(MenuKeys, BareKeysTypedIntoTextStayText) {
    MainWindowWithMenu main;
    QLineEdit* field = main.content->searchField;
    for (char key : std::string("jkusf123[]\\")) {
        EXPECT_TRUE(main.type(field, key).empty()) << key;
    }
    EXPECT_EQ(field->text(), QStringLiteral("jkusf123[]\\"));
    // With Ctrl or Alt they are commands again.
    EXPECT_EQ(main.type(field, '1', Qt::ControlModifier), std::vector{Action::showSmartGroup});
    EXPECT_EQ(main.type(field, 'a', Qt::ControlModifier | Qt::AltModifier), std::vector{Action::addFeed});

    // A dead key (no text) fires nothing on the list either.
    main.content->received.clear();
    main.content->list->setFocus();
    QTest::sendKeyEvent(QTest::Click, main.content->list, Qt::Key_Dead_Acute, QString(), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Click, main.content->list, Qt::Key_J, QString(), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Click, main.content->list, Qt::Key_BracketLeft, QString(), Qt::NoModifier);
    settle();
    EXPECT_TRUE(main.content->received.empty());
}

TEST(MenuKeys, CopyTakesTheFocusedTextAndTheArticleLinkApart) {
    MainWindowWithMenu main;
    QLineEdit* field = main.content->searchField;
    field->setText(QStringLiteral("hello"));
    field->selectAll();
    EXPECT_TRUE(main.type(field, 'c', Qt::ControlModifier).empty());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("hello"));
    EXPECT_EQ(main.type(field, 'c', Qt::ControlModifier | Qt::ShiftModifier), std::vector{Action::copyArticleURL});

    // Chosen from the menu, the editing entries act on the focused widget.
    auto& edit = *main.bar->items()[2];
    field->setText(QStringLiteral("chosen"));
    field->selectAll();
    edit.actionForSelector("copy:")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("chosen"));
    field->deselect();
    edit.actionForSelector("selectAll:")->trigger();
    EXPECT_EQ(field->selectedText(), QStringLiteral("chosen"));
    edit.actionForSelector("cut:")->trigger();
    EXPECT_TRUE(field->text().isEmpty());
    edit.actionForSelector("paste:")->trigger();
    EXPECT_EQ(field->text(), QStringLiteral("chosen"));
}

TEST(MenuKeys, TheAddFeedSheetKeepsItsText) {
    MainWindowWithMenu main;
    FeedAddViewController sheet(nullptr);
    QWidget* sheetView = sheet.view();
    sheetView->setWindowTitle(QStringLiteral("Add"));
    sheetView->setParent(main.controller.window(), Qt::Sheet | Qt::Dialog);
    sheetView->show();
    ASSERT_TRUE(activate(sheetView));
    main.content->received.clear();
    for (char key : std::string("jks1[")) {
        sheet.feedURLTextField()->setFocus();
        QTest::keyClick(sheet.feedURLTextField(), key);
    }
    settle();
    EXPECT_EQ(sheet.feedURLTextField()->text(), QStringLiteral("jks1["));
    EXPECT_TRUE(main.content->received.empty());
    sheetView->hide();
}

TEST(MenuKeys, WindowMenuListsTheOpenWindowsAndItsKeysWorkInEach) {
    MainWindowWithMenu main;
    main.controller.window()->setWindowTitle(QStringLiteral("Tallowmere"));
    PreferencesWindowController preferences;
    preferences.showWindow();
    ASSERT_TRUE(activate(preferences.window()));
    WindowMenuItem& windowItem = main.bar->windowMenuItem();
    Q_EMIT windowItem.menu()->aboutToShow();
    QStringList listed;
    for (QAction* action : windowItem.windowListActions()) {
        if (!action->isSeparator()) listed << action->text();
    }
    QStringList expected;
    for (QWidget* window : {static_cast<QWidget*>(main.controller.window()), static_cast<QWidget*>(preferences.window())}) {
        expected << WindowMenuItem::entryTitle(window);
    }
    Q_EMIT windowItem.menu()->aboutToHide();
    EXPECT_EQ(listed, expected);

    // The list and reader keys belong to the main window; minimising works in every window.
    main.content->received.clear();
    QTest::keyClick(preferences.window(), 'j');
    QTest::keyClick(preferences.window(), 'm', Qt::ControlModifier);
    EXPECT_TRUE(test::waitUntil([&] { return preferences.window()->isMinimized(); }));
    EXPECT_TRUE(main.content->received.empty());
    preferences.window()->hide();
}

TEST(MenuKeys, DesktopCommandsOfTheProgramAndWindowMenus) {
    MainWindowWithMenu main;
    QWidget* window = main.controller.window();
    auto& app = *main.bar->items()[0];
    auto& windowItem = main.bar->windowMenuItem();

    app.actionForSelector("orderFrontStandardAboutPanel:")->trigger();
    QWidget* about = nullptr;
    ASSERT_TRUE(test::waitUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QStringLiteral("aboutPanel") && widget->isVisible()) about = widget;
        }
        return about != nullptr;
    }));
    const QString aboutText = about->property("text").toString() + about->property("informativeText").toString();
    EXPECT_TRUE(aboutText.contains(QStringLiteral("Tallowmere"))) << aboutText.toStdString();
    EXPECT_TRUE(aboutText.contains(QStringLiteral(TALLOWMERE_VERSION))) << aboutText.toStdString();
    about->close();
    ASSERT_TRUE(activate(window));

    windowItem.actionForSelector("performZoom:")->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return window->isMaximized(); }));
    windowItem.actionForSelector("performZoom:")->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return !window->isMaximized(); }));

    app.actionForSelector("hide:")->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return window->isMinimized(); }));
    window->showNormal();
}

TEST(MenuKeys, ScreenshotOfTheOpenArticlesMenu) {
    MainWindowWithMenu main;
    auto& articles = *main.bar->items()[5];
    main.content->list->setFocus();
    QMenu* menu = articles.menu();
    main.bar->setActiveAction(menu->menuAction());
    ASSERT_TRUE(test::waitUntil([menu] { return menu->isVisible(); }));
    settle();
    // The entries with a receiver are enabled while it is shown.
    EXPECT_TRUE(articles.actionForSelector("showNextArticle")->isEnabled());
    test::Screenshot shot(menu, "menus-articles");
    (void)shot;
    test::Screenshot bar(main.controller.window(), "menus-bar");
    (void)bar;
    menu->hide();
}

TEST(MenuKeys, QuitFromTheMenuRunsTheCoordinator) {
    AppDelegate delegate;
    desktop::Application::shared().setDelegate(&delegate);
    auto* window = delegate.mainWindowController().window();
    auto* bar = new MainMenu(window);
    window->setMenuBar(bar);
    QSignalSpy replied(&delegate.termination(), &TerminationCoordinator::replied);
    auto& app = *bar->items()[0];
    app.actionForSelector("terminate:")->trigger();
    EXPECT_TRUE(delegate.termination().isTerminating());
    EXPECT_TRUE(test::waitUntil([&] { return replied.count() == 1; }, 20000));
    desktop::Application::shared().setDelegate(nullptr);
}

#include "MenuKeysTest.moc"
