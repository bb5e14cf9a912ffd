#include "window/TintedImage.h"

#include <QPainter>
#include <string>

#include "foundation/Resources.h"

namespace tallowmere {

QImage bundleImage(std::string_view name) {
    auto data = Resources::data("images/" + std::string(name) + ".png");
    if (!data) return {};
    return QImage::fromData(reinterpret_cast<const uchar*>(data->data()), static_cast<int>(data->size()), "PNG");
}

QPixmap tinted(const QImage& image, const QColor& color) {
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(result.rect(), color);
    painter.end();
    return QPixmap::fromImage(result);
}

}  // namespace tallowmere
