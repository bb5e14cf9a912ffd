#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/AppearanceWatcher.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/ViewController.h"
#include "store/PersistentState.h"
#include "store/Preferences.h"
#include "support/ui/Screenshot.h"
#include "support/ui/UiWait.h"
#include "themes/Themable.h"
#include "themes/ThemesManager.h"
#include "window/MainContent.h"
#include "window/MainViewController.h"
#include "window/MainWindow.h"
#include "window/MainWindowController.h"

using namespace tallowmere;

namespace {

// Stands where the panes go: counts the refreshes asked of it, and records
// the order in which its controllers and views are themed.
class RecordingContent : public desktop::ViewController, public MainContent, public Themable {
    Q_OBJECT
public:
    desktop::ViewController& contentController() override { return *this; }
    void refreshFeeds() override { ++refreshes; }
    void applyTheme() override { themed.push_back("controller 0"); }

    int refreshes = 0;
    std::vector<std::string> themed;

protected:
    void loadView() override;
};

class RecordingController : public desktop::ViewController, public Themable {
public:
    RecordingController(std::string name, RecordingContent& log, desktop::ViewController* parent)
        : desktop::ViewController(parent), name_(std::move(name)), log_(log) {}
    void applyTheme() override { log_.themed.push_back(name_); }

private:
    std::string name_;
    RecordingContent& log_;
};

class RecordingView : public QWidget, public Themable {
public:
    RecordingView(std::string name, RecordingContent& log, QWidget* parent = nullptr)
        : QWidget(parent), name_(std::move(name)), log_(log) {
        if (parent && parent->layout()) parent->layout()->addWidget(this);
    }
    void applyTheme() override { log_.themed.push_back(name_); }

private:
    std::string name_;
    RecordingContent& log_;
};

void RecordingContent::loadView() {
    auto* root = new RecordingView("view 0", *this);
    new QVBoxLayout(root);
    auto* first = new RecordingView("view 1", *this, root);
    new RecordingView("view 2", *this, first);
    new QWidget(root);  // not themed; its subview is
    new RecordingView("view 3", *this, root->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).back());
    setView(root);
}

void settle() { test::waitUntil([] { return false; }, 100); }

// Every test starts as a later launch: the built-in default feeds live outside this machine.
void useInterval(FeedsRefreshInterval interval) {
    PersistentState::shared()->setFirstLaunch(false);
    Preferences::shared()->setFeedsRefreshInterval(interval);
}

void saveFrame(const std::string& text) {
    PersistentState::shared()->defaults().set(MainWindowController::frameAutosaveName, text);
}

QRect shownFrame(MainWindowController& controller) {
    auto* window = controller.window();
    controller.showWindow();
    EXPECT_TRUE(test::waitUntil([&] { return window->isVisible() && window->windowHandle()->isExposed(); }));
    settle();
    return QRect(window->pos(), window->size());
}

QRect centred(QSize size) {
    QRect frame(QPoint(), size);
    frame.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center());
    return frame;
}

}  // namespace

TEST(MainWindowFrame, RestoredCentredOrDefaulted) {
    useInterval(FeedsRefreshInterval::never);
    struct Case {
        const char* saved;
        QRect expected;
    };
    const Case cases[] = {
        {"100 120 900 640", QRect(100, 120, 900, 640)},
        {"0 0 800 600", QRect(0, 0, 800, 600)},
        {"-10 50 800 600", centred(QSize(800, 600))},
        {"50 -1 800 600", centred(QSize(800, 600))},
        {"not a frame", centred(MainViewController::defaultSize)},
        {"10 10 0 600", centred(MainViewController::defaultSize)},
    };
    for (const auto& item : cases) {
        saveFrame(item.saved);
        MainWindowController controller;
        EXPECT_EQ(shownFrame(controller), item.expected) << item.saved;
    }
}

TEST(MainWindowFrame, SavedWhenMovedAndNeverBelowTheMinimum) {
    useInterval(FeedsRefreshInterval::never);
    saveFrame("100 100 900 700");
    MainWindowController controller;
    auto* window = controller.window();
    shownFrame(controller);
    window->move(150, 160);
    window->resize(1000, 720);
    ASSERT_TRUE(test::waitUntil([] {
        return PersistentState::shared()->defaults().string(MainWindowController::frameAutosaveName) ==
               std::optional<std::string>("150 160 1000 720");
    }));

    window->resize(50, 50);
    ASSERT_TRUE(test::waitUntil([&] { return window->size() == QSize(200, 500); }));
    test::Screenshot shot(window, "main-window-minimum");
    EXPECT_EQ(shot.image().size() / shot.image().devicePixelRatio(), QSize(200, 500));
}

TEST(MainWindowRefreshTimer, FollowsTheInterval) {
    struct Case {
        FeedsRefreshInterval interval;
        bool fireNow;
        int refreshes;
        int timerSeconds;  // 0: no timer
    };
    const Case cases[] = {
        {FeedsRefreshInterval::never, true, 0, 0},
        {FeedsRefreshInterval::atLaunch, true, 1, 0},
        {FeedsRefreshInterval::atLaunch, false, 0, 0},
        {FeedsRefreshInterval::oneMinute, true, 1, 60},
        {FeedsRefreshInterval::fiveMinutes, true, 1, 300},
        {FeedsRefreshInterval::fiveMinutes, false, 0, 300},
        {FeedsRefreshInterval::sixtyMinutes, false, 0, 3600},
    };
    useInterval(FeedsRefreshInterval::never);
    auto* content = new RecordingContent;
    MainViewController controller(content);
    controller.view();
    for (const auto& item : cases) {
        content->refreshes = 0;
        useInterval(item.interval);
        controller.updateFeedsRefreshTimer(item.fireNow);
        EXPECT_EQ(content->refreshes, item.refreshes) << rawValue(item.interval);
        auto* timer = controller.feedsRefreshTimer();
        if (item.timerSeconds == 0) {
            EXPECT_EQ(timer, nullptr) << rawValue(item.interval);
            continue;
        }
        ASSERT_NE(timer, nullptr) << rawValue(item.interval);
        EXPECT_EQ(timer->interval(), item.timerSeconds * 1000);
        EXPECT_TRUE(timer->isActive());
        EXPECT_FALSE(timer->isSingleShot());
        // One firing, without waiting for it.
        QMetaObject::invokeMethod(timer, "timeout");
        EXPECT_EQ(content->refreshes, item.refreshes + 1);
    }
}

TEST(MainWindowRefreshTimer, AChangedSettingReschedulesWithoutRefreshing) {
    useInterval(FeedsRefreshInterval::never);
    auto* content = new RecordingContent;
    MainViewController controller(content);
    controller.view();
    useInterval(FeedsRefreshInterval::fiveMinutes);  // from -1 to 5
    ASSERT_NE(controller.feedsRefreshTimer(), nullptr);
    EXPECT_EQ(controller.feedsRefreshTimer()->interval(), 300 * 1000);
    EXPECT_EQ(content->refreshes, 0);
    useInterval(FeedsRefreshInterval::atLaunch);  // stops the timer, no refresh
    EXPECT_EQ(controller.feedsRefreshTimer(), nullptr);
    EXPECT_EQ(content->refreshes, 0);
}

TEST(MainWindowRefreshTimer, EachAppearanceRefreshesOnce) {
    useInterval(FeedsRefreshInterval::fiveMinutes);
    auto* content = new RecordingContent;
    MainWindowController controller(content);
    shownFrame(controller);
    ASSERT_TRUE(test::waitUntil([&] { return content->refreshes >= 1; }));
    settle();
    EXPECT_EQ(content->refreshes, 1);
    controller.window()->hide();
    controller.showWindow();
    ASSERT_TRUE(test::waitUntil([&] { return content->refreshes >= 2; }));
    settle();
    EXPECT_EQ(content->refreshes, 2);
    useInterval(FeedsRefreshInterval::never);
}

TEST(MainWindowTheme, TheWalkVisitsWindowControllersThenViewsInPreOrder) {
    useInterval(FeedsRefreshInterval::never);
    auto* content = new RecordingContent;
    auto* first = new RecordingController("controller 1", *content, content);
    new RecordingController("controller 2", *content, first);
    auto* plain = new desktop::ViewController(content);
    new RecordingController("controller 3", *content, plain);
    MainWindowController controller(content);
    content->themed.clear();

    controller.contentViewController().applyThemeToWindowTree();
    EXPECT_EQ(content->themed, (std::vector<std::string>{"controller 0", "controller 1", "controller 2",
                                                         "controller 3", "view 0", "view 1", "view 2", "view 3"}));
}

TEST(MainWindowTheme, ReThemedOnTheSettingAndOnTheDesktopStyle) {
    useInterval(FeedsRefreshInterval::never);
    auto preferences = Preferences::shared();
    auto* watcher = new desktop::AppearanceWatcher(QDBusConnection::sessionBus(), &desktop::Application::shared());
    desktop::Application::shared().setAppearanceWatcher(watcher);
    watcher->settingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"),
                            QDBusVariant(QVariant::fromValue(2u)));
    preferences->setThemeType(ThemeType::caramel);
    test::waitUntil([] { return false; }, 50);
    MainWindowController controller;
    shownFrame(controller);
    auto* window = controller.window();
    const QPoint middle(window->width() / 2, window->height() / 2);
    auto backgroundIs = [&](ThemeType type, const char* name) {
        const QColor expected = ThemesManager::shared().themeFor(type)->colors().windowBackground;
        return test::waitUntil([&] {
            test::Screenshot shot(window, name);
            return shot.pixelNear(middle, expected);
        });
    };
    EXPECT_TRUE(backgroundIs(ThemeType::caramel, "main-window-theme-caramel"));

    preferences->setThemeType(ThemeType::mint);
    EXPECT_TRUE(backgroundIs(ThemeType::mint, "main-window-theme-mint"));

    // Following the desktop: light, then the portal says dark.
    preferences->setThemeType(ThemeType::automatic);
    EXPECT_TRUE(backgroundIs(ThemeType::latte, "main-window-theme-automatic-light"));
    watcher->settingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"),
                            QDBusVariant(QVariant::fromValue(1u)));
    EXPECT_TRUE(backgroundIs(ThemeType::dark, "main-window-theme-automatic-dark"));
}

#include "MainWindowTest.moc"
