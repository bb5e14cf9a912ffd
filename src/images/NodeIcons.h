#pragma once

#include <QImage>
#include <QSizeF>
#include <optional>
#include <string_view>

#include "images/ImagesManager.h"
#include "sources/NodesSource.h"
#include "store/Node.h"

namespace tallowmere {

// The sidebar's icon of a node: a feed's stored icon, or the default feed
// icon when it has none (or the data is no image), drawn at the asked size on
// white and kept in the image cache under the feed's object ID.
class NodeIcons {
public:
    static constexpr std::string_view defaultIconName = "FeedDefaultIcon";

    // Nothing for a folder and for a feed without context.
    static std::optional<QImage> iconImage(NodesSource& source, const Node& node, const QSizeF& size,
                                           qreal backingScale = 1.0,
                                           ImagesManager& images = ImagesManager::shared());
    // The default feed icon of the resources.
    static QImage defaultIcon();
};

}  // namespace tallowmere
