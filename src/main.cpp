#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "cloud/CloudManagers.h"
#include "feeds/WebService.h"
#include "foundation/AppUtils.h"
#include "foundation/Logger.h"
#include "menus/MainMenu.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/cloud/postgres/PostgresSchema.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/EventLoopMainQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "reader/ReaderSchemeHandler.h"
#include "service/TallowmereManager.h"
#include "store/DataController.h"
#include "themes/FontMap.h"
#include "window/AppDelegate.h"
#include "window/DesktopNotifications.h"
#include "window/MainWindowController.h"
#include "window/MainWindow.h"
#include "window/SingleInstance.h"

using namespace tallowmere;

namespace {
// Run by the operator of a PostgreSQL cloud, as the role that owns the tables.
int installCloudSchema(const char* connectionString) {
    if (auto error = cloud::PostgresSchema::install(connectionString)) {
        std::fprintf(stderr, "Tallowmere: cannot install the cloud tables: %s\n", error->textualDescription().c_str());
        return 1;
    }
    std::fprintf(stdout, "Tallowmere: the cloud tables are installed.\n");
    return 0;
}

bool hasDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}

// A later launch: the running copy takes the arguments; this one ends.
int handOver(const QString& directory, const QStringList& arguments) {
    if (SingleInstance::handOver(directory, arguments)) return 0;
    std::fprintf(stderr, "Tallowmere: another copy is running but did not answer.\n");
    return 1;
}

// Everything that lives as long as the program's window.
struct Program {
    std::unique_ptr<AppDelegate> delegate;
    std::vector<QStringList> earlyLaunches;  // arrived before the window was there
};

void storeDidOpen(Program& program, std::optional<DataControllerError> error, const QStringList& arguments) {
    if (error) {
        const auto message = QString::fromStdString(error->message);
        if (error->kind == DataControllerError::Kind::anotherCopyRunning) {
            std::fprintf(stderr, "Tallowmere: %s\n", error->message.c_str());
            QCoreApplication::exit(DataController::anotherCopyExitStatus);
            return;
        }
        QMessageBox::critical(nullptr, QStringLiteral("Tallowmere"),
                              QStringLiteral("The database of your feeds cannot be opened: %1").arg(message));
        QCoreApplication::exit(1);
        return;
    }
    program.delegate = std::make_unique<AppDelegate>();
    desktop::Application::shared().setDelegate(program.delegate.get());
    auto* window = program.delegate->mainWindowController().window();
    window->setMenuBar(new MainMenu(window));
    program.delegate->applicationDidFinishLaunching(arguments);
    for (const auto& launch : std::exchange(program.earlyLaunches, {})) program.delegate->handleLaunch(launch);
    if (auto recovery = DataController::shared()->takeStoreRecovery()) program.delegate->tellOfStoreRecovery(*recovery);
    // Once the window has shown its first content: the check reads the whole
    // store and would compete with the window's first reads.
    dispatch::MainQueue::shared().asyncAfter(std::chrono::seconds(5),
                                             [] { DataController::shared()->checkStoreInBackground(); });
}

}  // namespace

int main(int argc, char* argv[]) {
    Logger::setLevel(LoggerLevel::debug);
    if (argc == 3 && std::string_view(argv[1]) == "--cloud-install-schema") return installCloudSchema(argv[2]);
    if (!hasDisplay()) {
        std::fprintf(stderr, "Tallowmere: there is no display to show a window on.\n");
        return 1;
    }
    // The reader's pages come through a scheme of our own, which the web engine
    // only accepts when it is known before the application object exists.
    ReaderSchemeHandler::registerScheme();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(AppUtils::appName()));
    QApplication::setDesktopFileName(QStringLiteral("tallowmere"));
    // Quitting goes through the application's delegate, which ends the loop itself.
    QApplication::setQuitOnLastWindowClosed(false);
    desktop::EventLoopMainQueue::install();

    const QStringList arguments = QApplication::arguments().mid(1);
    const QString runtimeDirectory = SingleInstance::defaultDirectory();
    SingleInstance instance(runtimeDirectory);
    // Without a place for the lock and the socket (Claim::unavailable) the
    // program still runs; only later launches cannot reach it.
    if (instance.claim() == SingleInstance::Claim::anotherRunning) return handOver(runtimeDirectory, arguments);

    Program program;
    QObject::connect(&instance, &SingleInstance::launched, [&program](const QStringList& launch) {
        if (program.delegate) {
            program.delegate->handleLaunch(launch);
        } else {
            program.earlyLaunches.push_back(launch);
        }
    });

    FontMap::shared();
    CloudManagers::installShared();
    DesktopNotifications::install(QDBusConnection::sessionBus());
    TallowmereManager::installFromSettings(*defaults::UserDefaults::standard(), WebService::shared());
    // Opening reads the store's header and schema (the whole file after a
    // check found damage); the window is built once it is open.
    std::thread opening([&program, arguments] {
        auto error = DataController::openShared();
        dispatch::MainQueue::shared().async(
            [&program, error, arguments] { storeDidOpen(program, error, arguments); });
    });

    const int status = QApplication::exec();
    opening.join();
    program.delegate.reset();
    DesktopNotifications::uninstall();
    return status;
}
