#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>
#include <memory>

#include "platform/desktop/AppearanceWatcher.h"
#include "support/LogCapture.h"
#include "support/ui/UiWait.h"

using namespace tallowmere;
using desktop::Appearance;
using desktop::AppearanceWatcher;

// The desktop portal's settings interface as this program uses it, on a
// connection of its own to the test's private bus.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    // What Read answers: the value, wrapped once more as the portal does.
    QVariant answer;

    explicit FakePortal(const QString& connectionName)
        : connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {
        connection_.registerObject(AppearanceWatcher::kPortalPath, this, QDBusConnection::ExportAllSlots);
        registered_ = connection_.registerService(AppearanceWatcher::kPortalService);
    }
    ~FakePortal() override {
        connection_.unregisterService(AppearanceWatcher::kPortalService);
        connection_.unregisterObject(AppearanceWatcher::kPortalPath);
        QDBusConnection::disconnectFromBus(connection_.name());
    }
    bool registered() const { return registered_; }

    void announce(const QString& nameSpace, const QString& key, const QVariant& value) {
        QDBusMessage signal = QDBusMessage::createSignal(AppearanceWatcher::kPortalPath,
                                                         AppearanceWatcher::kSettingsInterface, "SettingChanged");
        signal << nameSpace << key << QVariant::fromValue(QDBusVariant(value));
        connection_.send(signal);
    }

public Q_SLOTS:
    QDBusVariant Read(const QString& nameSpace, const QString& key) {
        if (nameSpace != AppearanceWatcher::kNamespace || key != AppearanceWatcher::kKey) return QDBusVariant(0U);
        return QDBusVariant(QVariant::fromValue(QDBusVariant(answer)));
    }

private:
    QDBusConnection connection_;
    bool registered_ = false;
};

namespace {

Appearance paletteAppearance() {
    return QGuiApplication::palette().color(QPalette::Window).lightnessF() < 0.5F ? Appearance::dark
                                                                                  : Appearance::light;
}

Appearance opposite(Appearance appearance) {
    return appearance == Appearance::dark ? Appearance::light : Appearance::dark;
}

TEST(AppearanceWatcher, FollowsThePortalAndItsChanges) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "runs on a private session bus";
    FakePortal portal("fake-portal-follows");
    ASSERT_TRUE(portal.registered());
    // The opposite of the palette, so the portal's word is seen to win.
    const Appearance first = opposite(paletteAppearance());
    portal.answer = QVariant::fromValue(first == Appearance::dark ? 1U : 2U);

    AppearanceWatcher watcher(QDBusConnection::sessionBus());
    std::vector<Appearance> changes;
    QObject::connect(&watcher, &AppearanceWatcher::appearanceChanged,
                     [&](Appearance appearance) { changes.push_back(appearance); });
    ASSERT_TRUE(test::waitUntil([&] { return watcher.appearance() == first; }));

    portal.announce(AppearanceWatcher::kNamespace, AppearanceWatcher::kKey, QVariant::fromValue(0U));
    ASSERT_TRUE(test::waitUntil([&] { return watcher.appearance() == paletteAppearance(); }))
        << "no preference: the palette decides";

    portal.announce("org.example.other", AppearanceWatcher::kKey, QVariant::fromValue(1U));
    portal.announce(AppearanceWatcher::kNamespace, AppearanceWatcher::kKey, QVariant::fromValue(1U));
    ASSERT_TRUE(test::waitUntil([&] { return watcher.appearance() == Appearance::dark; }));
    portal.announce(AppearanceWatcher::kNamespace, AppearanceWatcher::kKey, QVariant::fromValue(2U));
    ASSERT_TRUE(test::waitUntil([&] { return watcher.appearance() == Appearance::light; }));
    EXPECT_FALSE(changes.empty());
    EXPECT_EQ(changes.back(), Appearance::light);
}

TEST(AppearanceWatcher, GarbageFromThePortalWarnsOnceAndFallsBackToThePalette) {
    FakePortal portal("fake-portal-garbage");
    ASSERT_TRUE(portal.registered());
    portal.answer = QVariant::fromValue(QStringLiteral("dark"));
    test::LogCapture log;
    AppearanceWatcher watcher(QDBusConnection::sessionBus());
    ASSERT_TRUE(test::waitUntil([&] { return !log.lines().empty(); }));
    EXPECT_EQ(watcher.appearance(), paletteAppearance());
    // More garbage: still the palette, and no second warning.
    portal.announce(AppearanceWatcher::kNamespace, AppearanceWatcher::kKey, QVariant::fromValue(7U));
    portal.announce(AppearanceWatcher::kNamespace, AppearanceWatcher::kKey, QVariant::fromValue(1U));
    ASSERT_TRUE(test::waitUntil([&] { return watcher.appearance() == Appearance::dark; }));
    EXPECT_EQ(log.lines().size(), 1U);
}

TEST(AppearanceWatcher, WithoutAPortalThePaletteDecides) {
    const QPalette original = QGuiApplication::palette();
    {
        test::LogCapture log;
        // Nobody owns the portal's name on this bus.
        AppearanceWatcher watcher(QDBusConnection::sessionBus());
        ASSERT_TRUE(test::waitUntil([&] { return !log.lines().empty(); }));
        EXPECT_EQ(watcher.appearance(), paletteAppearance());

        QPalette dark = original;
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        QGuiApplication::setPalette(dark);
        ASSERT_TRUE(test::waitUntil([&] { return watcher.appearance() == Appearance::dark; }));
        QPalette light = original;
        light.setColor(QPalette::Window, QColor(240, 240, 240));
        QGuiApplication::setPalette(light);
        ASSERT_TRUE(test::waitUntil([&] { return watcher.appearance() == Appearance::light; }));
        EXPECT_EQ(log.lines().size(), 1U);
    }
    QGuiApplication::setPalette(original);
    // No bus at all.
    AppearanceWatcher unconnected(QDBusConnection(QStringLiteral("no-such-connection")));
    EXPECT_EQ(unconnected.appearance(), paletteAppearance());
}

}  // namespace

#include "AppearanceWatcherTest.moc"
