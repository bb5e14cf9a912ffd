#include "window/AppDelegate.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <algorithm>

#include "cloud/CloudRemoteNotificationHandler.h"
#include "cloud/CloudUserManager.h"
#include "foundation/AppUtils.h"
#include "foundation/Logger.h"
#include "platform/cloud/Container.h"
#include "platform/desktop/Application.h"
#include "platform/dispatch/MainQueue.h"
#include "prefs/PreferencesWindowHost.h"
#include "store/Preferences.h"
#include "window/ActionRouter.h"
#include "window/MainWindow.h"
#include "window/MainWindowController.h"
#include "window/PreferencesHost.h"

namespace tallowmere {
namespace {

// The link's scheme with its separator, put together here rather than
// spelled out, as the one prefix that turns into "http://".
std::string feedSchemePrefix() { return std::string("feed") + "://"; }

}  // namespace

AppDelegate::AppDelegate(std::unique_ptr<PreferencesHost> preferences, QObject* parent)
    : QObject(parent), badge_(QDBusConnection::sessionBus()) {
    mainWindowController_ = std::make_unique<MainWindowController>();
    // The one preferences window of the run, kept above the main window.
    preferencesWindowController_ = preferences ? std::move(preferences)
                                               : std::make_unique<PreferencesWindowHost>(mainWindowController_->window());
    termination_ = std::make_unique<TerminationCoordinator>(TerminationCoordinator::standardSteps(
        [this] { mainWindowController_->saveFrame(); },
        [this] {
            auto saves = preferencesWindowController_->paneSaves();
            return std::vector<TerminationCoordinator::AsyncStep>(saves.begin(), saves.end());
        }));

    connect(mainWindowController_->window(), &MainWindow::closeRequested, this,
            &AppDelegate::applicationShouldTerminate);
    connect(termination_.get(), &TerminationCoordinator::replied, this, [] { QCoreApplication::exit(0); });
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { applicationShouldTerminate(); });
        connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive) applicationDidBecomeActive();
        });
    }
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching(const QStringList& launchArguments) {
    auto users = CloudUserManager::shared();
    if (const auto authenticated = users->isAuthenticated()) {
        setupRemoteNotifications(*authenticated && Preferences::shared()->cloudEnabled());
    } else {
        QPointer<AppDelegate> self(this);
        users->checkCloudAvailability([self](std::optional<bool> available) {
            // The answer comes on the cloud's queue; registering belongs on the main thread.
            dispatch::MainQueue::shared().async([self, available] {
                if (self) self->setupRemoteNotifications(available);
            });
        });
    }
    updateWindowTitle();
    mainWindowController_->showWindow();
    if (launchArguments.isEmpty()) return;
    QPointer<AppDelegate> self(this);
    dispatch::MainQueue::shared().async([self, launchArguments] {
        if (!self) return;
        for (const auto& argument : launchArguments) self->handleGetURL(argument);
    });
}

void AppDelegate::handleLaunch(const QStringList& arguments) {
    for (const auto& argument : arguments) handleGetURL(argument);
    mainWindowController_->showWindow();
}

void AppDelegate::handleGetURL(const QString& link) {
    auto address = feedAddress(link.toStdString());
    if (!address) return;
    mainWindowController_->showWindow();
    // After the launch that brought the link has been answered.
    dispatch::MainQueue::shared().async(
        [address = std::move(*address)] { sendActionToTarget(Action::addFeedFromFolder, address); });
}

std::optional<std::string> AppDelegate::feedAddress(std::string_view link) {
    if (!link.starts_with("feed")) return std::nullopt;
    const auto start = std::min(link.find("http://"), link.find("https://"));
    if (start != std::string_view::npos) return std::string(link.substr(start));
    const auto prefix = feedSchemePrefix();
    if (link.starts_with(prefix)) return "http://" + std::string(link.substr(prefix.size()));
    return std::string(link);
}

void AppDelegate::tellOfStoreRecovery(const graph::StoreRecoveryReport& report) {
    auto* window = mainWindowController_->window();
    const auto text = QStringLiteral(
                          "The database of your feeds was damaged (%1). What could be read was carried into a fresh "
                          "database; the damaged file was kept as %2.")
                          .arg(QString::fromStdString(report.reason), QString::fromStdString(report.movedAsideTo));
    // Opened on a turn of its own so that launching goes on meanwhile.
    QMetaObject::invokeMethod(
        window, [window, text] { QMessageBox::information(window, QString::fromStdString(AppUtils::appName()), text); },
        Qt::QueuedConnection);
}

void AppDelegate::updateDockBadge(std::int64_t unreadCount) {
    std::optional<QString> label;
    if (unreadCount >= 1 && Preferences::shared()->showUnreadArticlesCountBadge()) label = QString::number(unreadCount);
    badge_.setLabel(std::move(label));
    updateWindowTitle();
}

void AppDelegate::updateWindowTitle() {
    auto title = QString::fromStdString(AppUtils::appName());
    if (badge_.label()) title += QStringLiteral(" (%1)").arg(*badge_.label());
    mainWindowController_->window()->setWindowTitle(title);
}

void AppDelegate::setupRemoteNotifications(std::optional<bool> enabled) {
    const bool wanted = enabled.value_or(true);
    if (wanted == registeredForRemoteNotifications_) return;
    registeredForRemoteNotifications_ = wanted;
    if (wanted) {
        cloud::Container::shared()->startPushDelivery(&CloudRemoteNotificationHandler::didReceiveRemoteNotification);
    } else {
        cloud::Container::shared()->stopPushDelivery();
    }
}

void AppDelegate::showPreferences() { preferencesWindowController_->showWindow(); }

void AppDelegate::applicationDidBecomeActive() { preferencesWindowController_->refreshPanes(); }

void AppDelegate::applicationShouldTerminate() { termination_->requestTermination(); }

}  // namespace tallowmere
