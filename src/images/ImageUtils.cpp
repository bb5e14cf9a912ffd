#include "images/ImageUtils.h"

#include <QColorSpace>
#include <QPainter>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <algorithm>
#include <climits>
#include <cmath>

namespace tallowmere {

namespace {

// Images with more than 8 bits per component keep them through the redraw.
bool hasWideComponents(const QImage& image) {
    return image.depth() > 32 || image.format() == QImage::Format_Grayscale16;
}

// Pixels along one dimension: truncated, and only when the image can hold them.
int pixelCount(qreal points, qreal scale) {
    const qreal pixels = points * scale;
    if (!std::isfinite(pixels) || pixels < 1.0 || pixels > static_cast<qreal>(INT_MAX)) return 0;
    return static_cast<int>(pixels);
}

// Where the image lands: centred at its own size, each dimension limited to
// the target's, widened outwards to whole pixels so no edge is blurred away.
QRect drawingRect(const QSizeF& imageSize, const QSizeF& targetSize, qreal scale) {
    const qreal x = std::max((targetSize.width() - imageSize.width()) * 0.5, 0.0) * scale;
    const qreal y = std::max((targetSize.height() - imageSize.height()) * 0.5, 0.0) * scale;
    const qreal width = std::min(imageSize.width(), targetSize.width()) * scale;
    const qreal height = std::min(imageSize.height(), targetSize.height()) * scale;
    const int left = static_cast<int>(std::floor(x));
    const int top = static_cast<int>(std::floor(y));
    const int right = static_cast<int>(std::ceil(x + width));
    const int bottom = static_cast<int>(std::ceil(y + height));
    return QRect(left, top, right - left, bottom - top);
}

// The source as sRGB pixels in its own pixel coordinates, so that drawing it
// into the sRGB result neither shifts its colours nor rescales it twice.
QImage sRGBSource(const QImage& image) {
    QImage source = image;
    const QColorSpace sRGB(QColorSpace::SRgb);
    if (source.colorSpace().isValid() && source.colorSpace() != sRGB) source.convertToColorSpace(sRGB);
    source.setDevicePixelRatio(1.0);
    return source;
}

}  // namespace

QImage ImageUtils::tinted(const QImage& image, const QColor& color) {
    if (image.isNull()) return image;
    QImage result = image.convertToFormat(hasWideComponents(image) ? QImage::Format_RGBA64_Premultiplied
                                                                   : QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(QRectF(QPointF(0, 0), result.deviceIndependentSize()), color);
    painter.end();
    return result;
}

QImage ImageUtils::glyphReduced(const QImage& image, int side) {
    if (image.isNull() || side <= 0 || (image.width() <= side && image.height() <= side)) return image;
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage result(side, side, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < side; ++y) {
        const int top = y * source.height() / side;
        const int bottom = std::max(top + 1, (y + 1) * source.height() / side);
        for (int x = 0; x < side; ++x) {
            const int left = x * source.width() / side;
            const int right = std::max(left + 1, (x + 1) * source.width() / side);
            QRgb strongest = 0;
            for (int row = top; row < bottom; ++row) {
                const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(row));
                for (int column = left; column < right; ++column)
                    if (qAlpha(line[column]) > qAlpha(strongest)) strongest = line[column];
            }
            reinterpret_cast<QRgb*>(result.scanLine(y))[x] = strongest;
        }
    }
    return result;
}

QImage ImageUtils::resized(const QImage& image, const QSizeF& size, const QColor& fill, qreal backingScale) {
    // Exactly the target size (QSizeF's == would also accept nearly equal sizes).
    const QSizeF own = image.deviceIndependentSize();
    if ((own.width() == size.width() && own.height() == size.height()) || image.isNull()) return image;
    const qreal scale = std::isfinite(backingScale) && backingScale > 0 ? backingScale : 1.0;
    const int pixelWidth = pixelCount(size.width(), scale);
    const int pixelHeight = pixelCount(size.height(), scale);
    if (pixelWidth == 0 || pixelHeight == 0) return image;

    QImage result(pixelWidth, pixelHeight,
                  hasWideComponents(image) ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    if (result.isNull()) return image;
    result.setColorSpace(QColorSpace(QColorSpace::SRgb));
    // A fresh opaque bitmap starts black; a translucent fill colour blends over that.
    result.fill(Qt::black);

    const QImage source = sRGBSource(image);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(result.rect(), fill);
    painter.drawImage(QRectF(drawingRect(own, size, scale)), source, QRectF(source.rect()));
    painter.end();

    result.setDevicePixelRatio(scale);
    return result;
}

}  // namespace tallowmere
