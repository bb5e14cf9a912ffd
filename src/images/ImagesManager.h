#pragma once

#include <QColor>
#include <QImage>
#include <QSizeF>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "images/ImageRepresentations.h"
#include "platform/dispatch/ObjectCache.h"

namespace tallowmere {

// Keeps, per object (a feed's icon, keyed by its object ID's URI text), the
// base image and the copies of it drawn at the sizes and colours the views
// asked for, so each copy is drawn once. At most 100 objects stay; the least
// recently used one goes first, with all its copies. Safe from any thread.
class ImagesManager {
public:
    using Key = std::string;
    static constexpr std::size_t kCountLimit = 100;

    ImagesManager();
    ImagesManager(const ImagesManager&) = delete;
    ImagesManager& operator=(const ImagesManager&) = delete;

    // The one instance of the process, made on first use.
    static ImagesManager& shared();

    // Stores `image` as the key's base image. Copies drawn from an earlier base
    // image stay until the entry is evicted. A null image is not stored.
    void setImage(const QImage& image, const Key& key);

    // The key's image at `size` on `color` at `backingScale` (the screen's
    // device pixel ratio), drawn on first request and kept; the base image
    // itself at size zero on the clear colour. Nothing when the key has no
    // base image (never stored, or evicted): the caller stores it again.
    std::optional<QImage> image(const Key& key, const QSizeF& size, const QColor& color, qreal backingScale);

private:
    dispatch::ObjectCache<Key, std::shared_ptr<ImageRepresentations>> imagesCache_;
};

}  // namespace tallowmere
