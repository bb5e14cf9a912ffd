#include "platform/desktop/AssetImage.h"

#include <string>

#include "foundation/Logger.h"
#include "foundation/Resources.h"

namespace tallowmere::desktop {

QImage AssetImage::named(std::string_view name) {
    const std::string path = "images/" + std::string(name) + ".png";
    const auto bytes = Resources::data(path);
    QImage image;
    if (bytes) {
        image.loadFromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<int>(bytes->size()), "PNG");
    }
    if (image.isNull()) {
        Logger::warning([&] { return "The image " + std::string(name) + (bytes ? " cannot be read" : " is missing"); });
    }
    return image;
}

}  // namespace tallowmere::desktop
