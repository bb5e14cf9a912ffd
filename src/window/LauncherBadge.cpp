#include "window/LauncherBadge.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace tallowmere {

LauncherBadge::LauncherBadge(QDBusConnection bus) : bus_(std::move(bus)) {}

void LauncherBadge::setLabel(std::optional<QString> label) {
    label_ = std::move(label);
    const qint64 count = label_ ? label_->toLongLong() : 0;
    QVariantMap properties;
    properties.insert(QStringLiteral("count"), QVariant::fromValue(count));
    properties.insert(QStringLiteral("count-visible"), label_.has_value());
    auto message = QDBusMessage::createSignal(QLatin1String(kPath), QLatin1String(kInterface), QLatin1String(kSignal));
    message << QString::fromLatin1(kApplicationURI) << properties;
    // Without a session bus or a dock that listens there is simply no badge.
    if (bus_.isConnected()) bus_.send(message);
}

}  // namespace tallowmere
