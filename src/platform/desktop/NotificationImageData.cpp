#include "platform/desktop/NotificationImageData.h"

#include <QDBusMetaType>
#include <mutex>

namespace tallowmere::desktop {

NotificationImageData NotificationImageData::fromImage(const notifications::NotificationImage& image) {
    NotificationImageData data;
    data.width = image.width;
    data.height = image.height;
    data.rowstride = image.width * 4;
    data.data = QByteArray(reinterpret_cast<const char*>(image.rgba.data()), static_cast<qsizetype>(image.rgba.size()));
    return data;
}

notifications::NotificationImage NotificationImageData::rgbaImage(const QImage& image) {
    // RGBA8888 keeps red, green, blue, alpha in byte order on every machine.
    const QImage converted = image.convertToFormat(QImage::Format_RGBA8888);
    notifications::NotificationImage rgba;
    rgba.width = converted.width();
    rgba.height = converted.height();
    const auto rowBytes = static_cast<std::size_t>(converted.width()) * 4;
    rgba.rgba.reserve(rowBytes * static_cast<std::size_t>(converted.height()));
    for (int y = 0; y < converted.height(); ++y) {
        const uchar* row = converted.constScanLine(y);
        rgba.rgba.insert(rgba.rgba.end(), row, row + rowBytes);
    }
    return rgba;
}

void NotificationImageData::registerType() {
    static std::once_flag once;
    std::call_once(once, [] { qDBusRegisterMetaType<NotificationImageData>(); });
}

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationImageData& image) {
    argument.beginStructure();
    argument << image.width << image.height << image.rowstride << image.hasAlpha << image.bitsPerSample
             << image.channels << image.data;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationImageData& image) {
    argument.beginStructure();
    argument >> image.width >> image.height >> image.rowstride >> image.hasAlpha >> image.bitsPerSample >>
        image.channels >> image.data;
    argument.endStructure();
    return argument;
}

}  // namespace tallowmere::desktop
