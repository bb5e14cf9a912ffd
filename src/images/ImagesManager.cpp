#include "images/ImagesManager.h"

#include "images/ImageUtils.h"

namespace tallowmere {

ImagesManager::ImagesManager() : imagesCache_(kCountLimit) {}

ImagesManager& ImagesManager::shared() {
    static ImagesManager manager;
    return manager;
}

void ImagesManager::setImage(const QImage& image, const Key& key) {
    if (image.isNull()) return;
    std::shared_ptr<ImageRepresentations> entry;
    if (auto cached = imagesCache_.object(key)) {
        entry = std::move(*cached);
    } else {
        entry = std::make_shared<ImageRepresentations>();
    }
    entry->setBaseImage(image);
    imagesCache_.setObject(key, std::move(entry));
}

std::optional<QImage> ImagesManager::image(const Key& key, const QSizeF& size, const QColor& color,
                                           qreal backingScale) {
    std::optional<std::shared_ptr<ImageRepresentations>> entry = imagesCache_.object(key);
    if (!entry) return std::nullopt;
    if (std::optional<QImage> cached = (*entry)->image(size, color, backingScale)) return cached;
    std::optional<QImage> base = (*entry)->baseImage();
    if (!base) return std::nullopt;
    QImage drawn = ImageUtils::resized(*base, size, color, backingScale);
    (*entry)->setImage(drawn, size, color, backingScale);
    imagesCache_.setObject(key, std::move(*entry));
    return drawn;
}

}  // namespace tallowmere
