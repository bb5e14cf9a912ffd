#pragma once

#include <QColor>
#include <QImage>
#include <QSizeF>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace tallowmere {

// One cached object's images: the base image as it was stored and the copies
// of it redrawn at a size on a colour at a backing scale. Used only by
// ImagesManager. Locked, because lookups of one key may come from the threads
// of several views at once.
class ImageRepresentations {
public:
    // The base image answers the lookup at size zero on the clear colour.
    std::optional<QImage> baseImage() const;
    void setBaseImage(const QImage& image);

    std::optional<QImage> image(const QSizeF& size, const QColor& color, qreal backingScale) const;
    void setImage(const QImage& image, const QSizeF& size, const QColor& color, qreal backingScale);

    // Text that tells apart every (size, colour, scale).
    static std::string representationKey(const QSizeF& size, const QColor& color, qreal backingScale);
    static bool isBasePair(const QSizeF& size, const QColor& color);

private:
    mutable std::mutex mutex_;
    std::optional<QImage> baseImage_;
    std::unordered_map<std::string, QImage> imagesDictionary_;
};

}  // namespace tallowmere
