#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QVariantMap>
#include <optional>
#include <vector>

#include "store/PersistentState.h"
#include "store/Preferences.h"
#include "support/ui/UiWait.h"
#include "window/AppDelegate.h"
#include "window/LauncherBadge.h"
#include "window/MainWindow.h"
#include "window/MainWindowController.h"

using namespace tallowmere;

// What a dock hears of the launcher entry, on a connection of its own.
class DockListener : public QObject {
    Q_OBJECT
public:
    struct Update {
        QString application;
        qint64 count = -1;
        bool visible = false;
    };

    DockListener() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dock"))) {
        bus_.connect(QString(), QString(), QLatin1String(LauncherBadge::kInterface),
                     QLatin1String(LauncherBadge::kSignal), this, SLOT(update(QString, QVariantMap)));
    }
    ~DockListener() override { QDBusConnection::disconnectFromBus(QStringLiteral("dock")); }

    std::vector<Update> updates;

public Q_SLOTS:
    void update(const QString& application, const QVariantMap& properties) {
        updates.push_back({application, properties.value(QStringLiteral("count")).toLongLong(),
                           properties.value(QStringLiteral("count-visible")).toBool()});
    }

private:
    QDBusConnection bus_;
};

TEST(LauncherBadge, ShowsTheUnreadCountOnlyWhenThereIsOneAndTheSettingIsOn) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    DockListener dock;
    // The window holds the reader, whose web engine runs here as root; and a
    // later launch, as the built-in default feeds live outside this machine.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    PersistentState::shared()->setFirstLaunch(false);
    AppDelegate delegate;
    auto* window = delegate.mainWindowController().window();
    auto preferences = Preferences::shared();

    struct Case {
        bool setting;
        std::int64_t unread;
        bool visible;
        const char* title;
    };
    const Case cases[] = {
        {true, 1234, true, "Tallowmere (1234)"},
        {true, 0, false, "Tallowmere"},
        {true, 1, true, "Tallowmere (1)"},
        {false, 1234, false, "Tallowmere"},
    };
    for (const auto& item : cases) {
        preferences->setShowUnreadArticlesCountBadge(item.setting);
        const auto heard = dock.updates.size();
        delegate.updateDockBadge(item.unread);
        ASSERT_TRUE(test::waitUntil([&] { return dock.updates.size() > heard; })) << item.unread;
        const auto& update = dock.updates.back();
        EXPECT_EQ(update.application, QStringLiteral("application://tallowmere.desktop"));
        EXPECT_EQ(update.visible, item.visible) << item.setting << " " << item.unread;
        if (item.visible) {
            EXPECT_EQ(update.count, item.unread);
        }
        EXPECT_EQ(window->windowTitle(), QString::fromLatin1(item.title));
    }
}

#include "LauncherBadgeTest.moc"
