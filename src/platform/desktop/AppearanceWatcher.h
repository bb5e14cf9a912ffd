#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <optional>

#include "platform/desktop/Appearance.h"

namespace tallowmere::desktop {

// Follows the desktop's light or dark style: the desktop portal's
// "color-scheme" setting (read at start and followed through its
// SettingChanged signal) when the portal states a preference, else the
// lightness of the application palette's window colour.
class AppearanceWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kSettingsInterface = "org.freedesktop.portal.Settings";
    static constexpr const char* kNamespace = "org.freedesktop.appearance";
    static constexpr const char* kKey = "color-scheme";

    explicit AppearanceWatcher(QDBusConnection bus, QObject* parent = nullptr);

    Appearance appearance() const;

Q_SIGNALS:
    void appearanceChanged(tallowmere::desktop::Appearance appearance);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public Q_SLOTS:
    // The portal's SettingChanged signal (QtDBus connects public slots only).
    void settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    void readPortal();
    // The portal's answer: 1 prefers dark, 2 prefers light, 0 states nothing.
    void takePortalValue(const QVariant& value);
    void portalUnusable(const QString& why);
    static Appearance paletteAppearance();
    void update();

    QDBusConnection bus_;
    std::optional<Appearance> portalPreference_;
    Appearance current_;
    bool warned_ = false;
};

}  // namespace tallowmere::desktop
