#pragma once

#include <QObject>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/graph/StoreRecovery.h"
#include "window/LauncherBadge.h"
#include "window/PreferencesHost.h"
#include "window/TerminationCoordinator.h"

namespace tallowmere {

class MainWindowController;

// The application's delegate: owns the main window's controller (and so the
// whole window) and the preferences window's; adds the feeds of "feed" links
// handed to the program; shows the window when launching has finished;
// turns cloud pushes on or off; keeps the unread badge; and quits through
// one coordinator, however quitting is asked for.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Without `preferences`, the program's own preferences window.
    explicit AppDelegate(std::unique_ptr<PreferencesHost> preferences = nullptr, QObject* parent = nullptr);
    ~AppDelegate() override;

    MainWindowController& mainWindowController() const { return *mainWindowController_; }
    PreferencesHost& preferencesWindowController() const { return *preferencesWindowController_; }
    TerminationCoordinator& termination() const { return *termination_; }
    const LauncherBadge& badge() const { return badge_; }

    // Cloud pushes, the window's title, the window; then the links the
    // program was started with.
    void applicationDidFinishLaunching(const QStringList& launchArguments = {});
    // A later launch of the program: its links are added, the window raised.
    void handleLaunch(const QStringList& arguments);
    // One link handed to the program: a "feed" link is added as a feed,
    // anything else is ignored.
    void handleGetURL(const QString& link);
    // Tells the user once that a damaged store was replaced.
    void tellOfStoreRecovery(const graph::StoreRecoveryReport& report);

    // The badge shows the count when it is at least 1 and the badge setting
    // is on; the window's title carries it too.
    void updateDockBadge(std::int64_t unreadCount);
    // Nothing (sign-in state unknown) or true starts the cloud's pushes, false stops them.
    void setupRemoteNotifications(std::optional<bool> enabled);
    bool isRegisteredForRemoteNotifications() const { return registeredForRemoteNotifications_; }
    void showPreferences();
    // The one way to quit: closing the window, the quit command, the session's end.
    void applicationShouldTerminate();

    // The address of the feed a "feed" link stands for, or nothing for a link
    // that does not begin with "feed".
    static std::optional<std::string> feedAddress(std::string_view link);

private:
    void applicationDidBecomeActive();
    void updateWindowTitle();

    std::unique_ptr<MainWindowController> mainWindowController_;
    std::unique_ptr<PreferencesHost> preferencesWindowController_;
    std::unique_ptr<TerminationCoordinator> termination_;
    LauncherBadge badge_;
    bool registeredForRemoteNotifications_ = false;
};

}  // namespace tallowmere
