#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QMetaType>

#include "platform/notifications/UserNotification.h"

namespace tallowmere::desktop {

// The "image-data" hint of a desktop notification, D-Bus signature
// (iiibiiay): width, height, bytes per row, alpha, bits per sample,
// channels, then the pixels row by row.
struct NotificationImageData {
    int width = 0;
    int height = 0;
    int rowstride = 0;
    bool hasAlpha = true;
    int bitsPerSample = 8;
    int channels = 4;
    QByteArray data;

    // Four 8-bit channels in the order red, green, blue, alpha.
    static NotificationImageData fromImage(const notifications::NotificationImage& image);
    // The image's pixels as the centre's notifications carry them.
    static notifications::NotificationImage rgbaImage(const QImage& image);

    // Once, before the first hint is sent.
    static void registerType();
};

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationImageData& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationImageData& image);

}  // namespace tallowmere::desktop

Q_DECLARE_METATYPE(tallowmere::desktop::NotificationImageData)
