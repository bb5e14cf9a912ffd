#include "images/NodeIcons.h"

#include <QColor>
#include <string>

#include "foundation/Resources.h"

namespace tallowmere {

QImage NodeIcons::defaultIcon() {
    // Decoded once: a sidebar of hundreds of feeds without icons asks for it per feed.
    static const QImage icon = [] {
        auto data = Resources::data("images/" + std::string(defaultIconName) + ".png");
        if (!data) return QImage();
        return QImage::fromData(reinterpret_cast<const uchar*>(data->data()), static_cast<int>(data->size()), "PNG");
    }();
    return icon;
}

std::optional<QImage> NodeIcons::iconImage(NodesSource& source, const Node& node, const QSizeF& size,
                                           qreal backingScale, ImagesManager& images) {
    if (!node.isFeed()) return std::nullopt;
    const ImagesManager::Key key = node.objectID().uriRepresentation();
    const QColor background(Qt::white);
    if (auto cached = images.image(key, size, background, backingScale)) return cached;
    if (!node.context()) return std::nullopt;

    QImage image;
    if (auto data = source.iconData(node))
        image = QImage::fromData(reinterpret_cast<const uchar*>(data->data()), static_cast<int>(data->size()));
    if (image.isNull()) image = defaultIcon();
    images.setImage(image, key);
    return images.image(key, size, background, backingScale);
}

}  // namespace tallowmere
