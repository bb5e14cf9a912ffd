#include "images/ImageRepresentations.h"

#include <QRgba64>
#include <cstdio>

namespace tallowmere {

std::optional<QImage> ImageRepresentations::baseImage() const {
    std::lock_guard lock(mutex_);
    return baseImage_;
}

void ImageRepresentations::setBaseImage(const QImage& image) {
    std::lock_guard lock(mutex_);
    baseImage_ = image;
}

std::optional<QImage> ImageRepresentations::image(const QSizeF& size, const QColor& color,
                                                  qreal backingScale) const {
    std::lock_guard lock(mutex_);
    if (isBasePair(size, color)) return baseImage_;
    auto found = imagesDictionary_.find(representationKey(size, color, backingScale));
    if (found == imagesDictionary_.end()) return std::nullopt;
    return found->second;
}

void ImageRepresentations::setImage(const QImage& image, const QSizeF& size, const QColor& color,
                                    qreal backingScale) {
    std::lock_guard lock(mutex_);
    imagesDictionary_.insert_or_assign(representationKey(size, color, backingScale), image);
}

std::string ImageRepresentations::representationKey(const QSizeF& size, const QColor& color,
                                                    qreal backingScale) {
    // Full precision, so sizes and colours that differ only slightly keep
    // their own copies; an invalid colour gets a text of its own.
    const QRgba64 rgba = color.rgba64();
    char text[160];
    std::snprintf(text, sizeof text, "{%.17g, %.17g}%s#%04x%04x%04x%04x@%.17g", size.width(), size.height(),
                  color.isValid() ? "" : "invalid", rgba.red(), rgba.green(), rgba.blue(), rgba.alpha(),
                  backingScale);
    return text;
}

bool ImageRepresentations::isBasePair(const QSizeF& size, const QColor& color) {
    return size.width() == 0 && size.height() == 0 && color == QColor(Qt::transparent);
}

}  // namespace tallowmere
