#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPropertyAnimation>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <QtTest/QTest>
#include <string>
#include <vector>

#include "../PrefsTestSupport.h"
#include "prefs/PreferencesAdvancedViewController.h"
#include "prefs/PreferencesContentViewController.h"
#include "prefs/PreferencesGeneralViewController.h"
#include "prefs/PreferencesViewController.h"
#include "prefs/PreferencesWindow.h"
#include "prefs/PreferencesWindowController.h"
#include "prefs/PreferencesWindowHost.h"
#include "store/DefaultConfig.h"
#include "support/ui/Screenshot.h"
#include "support/ui/UiWait.h"
#include "window/TerminationCoordinator.h"

using namespace tallowmere;

namespace {

// Takes the web addresses the program asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url); }
};

struct ShownWindow {
    test::FreshPreferences settings;
    QWidget owner;
    PreferencesWindowController controller{&owner};
    PreferencesViewController& tabs = *controller.contentViewController();
    PreferencesWindow& window = *controller.window();

    ShownWindow() {
        owner.resize(400, 300);
        owner.show();
        controller.showWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void click(int tab) {
        QAbstractButton* button = tabs.tabViewItems()[static_cast<std::size_t>(tab)].button;
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    }

    // Until the window has its final size.
    bool settled() {
        return test::waitUntil(
            [&] {
                auto* animation = tabs.resizeAnimation();
                return (!animation || animation->state() == QAbstractAnimation::Stopped) &&
                       window.minimumSize() == window.maximumSize();
            },
            10000);
    }
};

TEST(PreferencesWindow, FourTabsInOrderAndTheTitleIsTheSelectedOne) {
    ShownWindow shown;
    std::vector<std::string> labels;
    for (const auto& item : shown.tabs.tabViewItems()) labels.push_back(item.label.toStdString());
    EXPECT_EQ(labels, (std::vector<std::string>{"General", "Notifications", "Advanced", "Phone App"}));
    EXPECT_EQ(shown.tabs.tabViewItems()[3].identifier, QStringLiteral("ios_app"));
    for (const auto& item : shown.tabs.tabViewItems()) {
        ASSERT_TRUE(qobject_cast<QToolButton*>(item.button));
        EXPECT_EQ(qobject_cast<QToolButton*>(item.button)->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_FALSE(item.button->icon().isNull()) << item.label.toStdString();
        EXPECT_TRUE(item.viewController->isViewLoaded()) << "built before the window first showed";
    }
    EXPECT_EQ(shown.window.windowTitle(), QStringLiteral("General"));
    EXPECT_FALSE(shown.window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(shown.window.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(shown.window.minimumSize(), shown.window.maximumSize()) << "not resizable";
    ASSERT_TRUE(shown.window.windowHandle());
    EXPECT_EQ(shown.window.windowHandle()->transientParent(), shown.owner.windowHandle());

    // Becoming active again re-reads nothing: the panes show what they were built with.
    auto* general = static_cast<PreferencesGeneralViewController*>(shown.tabs.tabViewItems()[0].viewController);
    const int theme = general->themePopUp()->currentIndex();
    shown.settings.preferences->setThemeType(ThemeType::mocha);
    shown.tabs.refreshPanes();
    test::waitUntil([] { return false; }, 100);
    EXPECT_EQ(general->themePopUp()->currentIndex(), theme);
}

TEST(PreferencesWindow, ThePhoneAppTabOpensItsPageAndKeepsTheSelection) {
    ShownWindow shown;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    shown.click(2);
    ASSERT_TRUE(shown.settled());
    shown.click(3);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    ASSERT_EQ(catcher.opened.size(), 1u);
    EXPECT_EQ(catcher.opened.front().toString().toStdString(), std::string(DefaultConfig::iOSAppStoreURL));
    EXPECT_EQ(shown.tabs.selectedTabViewItemIndex(), 2);
    EXPECT_TRUE(shown.tabs.tabViewItems()[2].button->isChecked());
    EXPECT_FALSE(shown.tabs.tabViewItems()[3].button->isChecked());
    EXPECT_EQ(shown.window.windowTitle(), QStringLiteral("Advanced"));
}

// Each pane in turn: the window takes the pane's size below the tabs, its
// top edge where it was. The pictures are looked at after the run.
TEST(PreferencesWindow, SwitchingPanesResizesBelowAFixedTopEdge) {
    ShownWindow shown;
    ASSERT_TRUE(shown.settled());
    const auto* general = shown.tabs.tabViewItems()[0].viewController;
    EXPECT_EQ(general->preferredContentSize(), QSize(580, 210));
    EXPECT_EQ(shown.window.size(), shown.tabs.windowContentSize(general));
    test::Screenshot(&shown.window, QStringLiteral("preferences-general"));

    struct Step {
        int tab;
        const char* shot;
    };
    for (const Step step : {Step{2, "preferences-advanced"}, Step{1, "preferences-notifications"},
                            Step{0, "preferences-general-again"}}) {
        const QRect before = shown.window.geometry();
        const int frameTop = shown.window.frameGeometry().top();
        shown.click(step.tab);
        ASSERT_TRUE(shown.settled());
        const auto* pane = shown.tabs.tabViewItems()[static_cast<std::size_t>(step.tab)].viewController;
        const QSize expected = shown.tabs.windowContentSize(pane);
        EXPECT_TRUE(test::waitUntil([&] { return shown.window.size() == expected; }, 10000)) << step.shot;
        EXPECT_EQ(shown.window.geometry().top(), before.top()) << step.shot;
        EXPECT_EQ(shown.window.geometry().left(), before.left()) << step.shot;
        EXPECT_EQ(shown.window.frameGeometry().top(), frameTop) << step.shot;
        EXPECT_EQ(shown.window.windowTitle(), shown.tabs.tabViewItems()[static_cast<std::size_t>(step.tab)].label);
        if (step.tab == 2) {
            auto* pane = static_cast<PreferencesAdvancedViewController*>(shown.tabs.tabViewItems()[2].viewController);
            EXPECT_TRUE(test::waitUntil(
                [&] {
                    return !pane->currentDefaultFeedReaderTextField()->text().isEmpty() &&
                           !pane->cloudStatusTextField()->text().isEmpty();
                },
                20000));
        }
        test::Screenshot(&shown.window, QString::fromLatin1(step.shot));
    }
    const auto* advanced = shown.tabs.tabViewItems()[2].viewController;
    EXPECT_GT(advanced->preferredContentSize().height(), PreferencesAdvancedViewController::height)
        << "the cloud account's rows make the pane taller";
    EXPECT_EQ(shown.tabs.tabViewItems()[1].viewController->preferredContentSize(), QSize(580, 350));
}

// Quitting waits on every pane, and none of these holds it up.
TEST(PreferencesWindow, QuittingJoinsThePanesSaves) {
    test::FreshPreferences settings;
    PreferencesWindowHost host;
    EXPECT_EQ(host.paneSaves().size(), 4u);
    TerminationCoordinator::Steps steps;
    steps.paneSaves = [&host] {
        auto saves = host.paneSaves();
        return std::vector<TerminationCoordinator::AsyncStep>(saves.begin(), saves.end());
    };
    TerminationCoordinator coordinator(std::move(steps));
    std::optional<bool> complete;
    QObject::connect(&coordinator, &TerminationCoordinator::replied, [&](bool value) { complete = value; });
    coordinator.requestTermination();
    ASSERT_TRUE(test::waitUntil([&] { return complete.has_value(); }, 5000));
    EXPECT_TRUE(*complete) << "ended by the panes, not by the time limit";
}

}  // namespace

#include "PreferencesWindowTest.moc"
