#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "prefs/PreferencesAdvancedViewController.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/ui/UiWait.h"

using namespace tallowmere;

namespace {

const QString kIs = QStringLiteral("Tallowmere is the default feed reader.");
const QString kIsNot = QStringLiteral("Tallowmere is not the default feed reader.");

// The desktop's handler registry in folders of its own: XDG folders in a
// temporary place and no desktop named, so that xdg-mime uses the
// freedesktop files alone.
struct DesktopSandbox {
    test::TempDir root;
    test::ScopedEnv config{"XDG_CONFIG_HOME", (root.path() / "config").c_str()};
    test::ScopedEnv data{"XDG_DATA_HOME", (root.path() / "data").c_str()};
    test::ScopedEnv dirs{"XDG_DATA_DIRS", (root.path() / "system").c_str()};
    test::ScopedEnv desktop{"XDG_CURRENT_DESKTOP", nullptr};
    test::ScopedEnv session{"DESKTOP_SESSION", nullptr};
    test::ScopedEnv kde{"KDE_FULL_SESSION", nullptr};
    test::ScopedEnv gnome{"GNOME_DESKTOP_SESSION_ID", nullptr};

    DesktopSandbox() {
        std::filesystem::create_directories(root.path() / "config");
        std::filesystem::create_directories(root.path() / "data" / "applications");
        std::filesystem::create_directories(root.path() / "system" / "applications");
    }

    // Another program that handles "feed" links, made the default.
    void registerDefault(const std::string& desktopId) {
        std::ofstream(root.path() / "data" / "applications" / desktopId)
            << "[Desktop Entry]\nType=Application\nName=Other Reader\nExec=true %u\n"
               "MimeType=x-scheme-handler/feed;\n";
        ASSERT_EQ(xdgMime({QStringLiteral("default"), QString::fromStdString(desktopId),
                           QStringLiteral("x-scheme-handler/feed")}),
                  "");
        // The desktop names it now (xdg-mime names only entries whose program exists).
        ASSERT_EQ(xdgMime({QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/feed")}),
                  desktopId);
    }

    static std::string xdgMime(const QStringList& arguments) {
        QProcess tool;
        tool.start(QStringLiteral("xdg-mime"), arguments);
        if (!tool.waitForFinished(20000) || tool.exitCode() != 0) return "(xdg-mime failed)";
        return tool.readAllStandardOutput().trimmed().toStdString();
    }

    std::string mimeApps() const {
        std::ifstream file(root.path() / "config" / "mimeapps.list");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
};

// The status line once it has been filled.
QString statusAfterShowing(PreferencesAdvancedViewController& pane, int timeoutMs = 20000) {
    pane.currentDefaultFeedReaderTextField()->clear();
    pane.view()->show();
    test::waitUntil([&] { return !pane.currentDefaultFeedReaderTextField()->text().isEmpty(); }, timeoutMs);
    pane.view()->hide();
    return pane.currentDefaultFeedReaderTextField()->text();
}

TEST(DefaultFeedReader, AnotherReaderIsNotUsUntilWeAreMadeTheDefault) {
    DesktopSandbox desktop;
    desktop.registerDefault("other-reader.desktop");
    PreferencesAdvancedViewController pane;
    pane.view();
    EXPECT_EQ(statusAfterShowing(pane), kIsNot);

    pane.currentDefaultFeedReaderTextField()->clear();
    pane.setAsDefaultButton()->click();
    EXPECT_TRUE(test::waitUntil([&] { return pane.currentDefaultFeedReaderTextField()->text() == kIs; }, 20000))
        << pane.currentDefaultFeedReaderTextField()->text().toStdString();
    EXPECT_NE(desktop.mimeApps().find("x-scheme-handler/feed=tallowmere.desktop"), std::string::npos);
    // No entry of ours was installed, so one that starts this program was written.
    QFile entry(QString::fromStdString((desktop.root.path() / "data" / "applications" / "tallowmere.desktop").string()));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("MimeType=x-scheme-handler/feed;"));
}

TEST(DefaultFeedReader, TheSameIdInOtherLetterCaseIsAnotherProgram) {
    DesktopSandbox desktop;
    desktop.registerDefault("Tallowmere.desktop");
    PreferencesAdvancedViewController pane;
    pane.view();
    EXPECT_EQ(statusAfterShowing(pane), kIsNot);
}

TEST(DefaultFeedReader, WithoutTheToolTheProgramIsNotTheDefaultAndItIsSaidOnce) {
    DesktopSandbox desktop;
    test::TempDir emptyPath;
    test::ScopedEnv path("PATH", emptyPath.path().c_str());
    test::LogCapture log;
    PreferencesAdvancedViewController pane;
    pane.view();
    EXPECT_EQ(statusAfterShowing(pane), kIsNot);
    EXPECT_EQ(statusAfterShowing(pane), kIsNot);
    int warnings = 0;
    for (const auto& line : log.lines()) warnings += line.find("xdg-mime is not installed") != std::string::npos;
    EXPECT_EQ(warnings, 1);
}

TEST(DefaultFeedReader, AToolThatHangsIsStoppedAfterFiveSeconds) {
    DesktopSandbox desktop;
    test::TempDir tools;
    const auto fake = tools.path() / "xdg-mime";
    std::ofstream(fake) << "#!/bin/sh\nexec sleep 120\n";
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    const std::string path = tools.path().string() + ":/usr/bin:/bin";
    test::ScopedEnv pathEnv("PATH", path.c_str());
    PreferencesAdvancedViewController pane;
    pane.view();
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(statusAfterShowing(pane, 60000), kIsNot);
    EXPECT_GE(elapsed.elapsed(), 5000) << "the tool had its five seconds";
}

}  // namespace
