#include "platform/desktop/AppearanceWatcher.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

#include "foundation/Logger.h"

namespace tallowmere::desktop {

namespace {

// The portal's Read wraps the value in one variant more than ReadOne does.
QVariant unwrapped(QVariant value) {
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>() &&
                        value.metaType() == QMetaType::fromType<QDBusVariant>();
         ++depth) {
        value = value.value<QDBusVariant>().variant();
    }
    return value;
}

}  // namespace

AppearanceWatcher::AppearanceWatcher(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), current_(paletteAppearance()) {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
    if (!bus_.isConnected()) {
        portalUnusable("no session bus");
        return;
    }
    // The slot's argument types must be known before QtDBus matches it.
    qRegisterMetaType<QDBusVariant>();
    const bool listening = bus_.connect(kPortalService, kPortalPath, kSettingsInterface, "SettingChanged", this,
                                        SLOT(settingChanged(QString, QString, QDBusVariant)));
    if (!listening) Logger::warning([] { return "Changes of the desktop's colour scheme cannot be followed"; });
    readPortal();
}

Appearance AppearanceWatcher::appearance() const { return current_; }

void AppearanceWatcher::readPortal() {
    // Asynchronous: the start does not wait on a portal that is slow to come up.
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface, "Read");
    call << QString(kNamespace) << QString(kKey);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            portalUnusable(finished->error().message());
            return;
        }
        takePortalValue(reply.arguments().constFirst());
    });
}

void AppearanceWatcher::settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value) {
    if (nameSpace != QLatin1String(kNamespace) || key != QLatin1String(kKey)) return;
    takePortalValue(value.variant());
}

void AppearanceWatcher::takePortalValue(const QVariant& raw) {
    const QVariant value = unwrapped(raw);
    const auto type = value.metaType().id();
    const bool integral = type == QMetaType::UInt || type == QMetaType::Int || type == QMetaType::UShort ||
                          type == QMetaType::UChar || type == QMetaType::ULongLong || type == QMetaType::LongLong;
    if (!integral) {
        portalUnusable(QStringLiteral("the colour scheme is not a number"));
        return;
    }
    switch (value.toLongLong()) {
        case 1: portalPreference_ = Appearance::dark; break;
        case 2: portalPreference_ = Appearance::light; break;
        case 0: portalPreference_.reset(); break;
        default: portalUnusable(QStringLiteral("unknown colour scheme %1").arg(value.toLongLong())); return;
    }
    update();
}

void AppearanceWatcher::portalUnusable(const QString& why) {
    portalPreference_.reset();
    if (!warned_) {
        warned_ = true;
        Logger::warning([&] {
            return "The desktop's colour scheme could not be read (" + why.toStdString() +
                   "); following the palette instead";
        });
    }
    update();
}

Appearance AppearanceWatcher::paletteAppearance() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return Appearance::light;
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightnessF() < 0.5F ? Appearance::dark : Appearance::light;
}

void AppearanceWatcher::update() {
    const Appearance next = portalPreference_.value_or(paletteAppearance());
    if (next == current_) return;
    current_ = next;
    Q_EMIT appearanceChanged(current_);
}

bool AppearanceWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ApplicationPaletteChange && watched == QCoreApplication::instance()) update();
    return QObject::eventFilter(watched, event);
}

}  // namespace tallowmere::desktop
