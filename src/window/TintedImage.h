#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <string_view>

namespace tallowmere {

// An image of resources/images by name ("DisclosureOff"); a null image when
// there is none.
QImage bundleImage(std::string_view name);

// The image with the colour laid over every opaque part of it (source-atop),
// so the colour takes the place of the image's own colours.
QPixmap tinted(const QImage& image, const QColor& color);

}  // namespace tallowmere
