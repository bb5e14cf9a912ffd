#pragma once

#include <QImage>
#include <string_view>

namespace tallowmere::desktop {

// An image of the program's compiled-in resources by name ("FeedDefaultIcon"
// is "images/FeedDefaultIcon.png"). A missing or unreadable asset gives an
// empty image and a warning.
class AssetImage {
public:
    AssetImage() = delete;
    static QImage named(std::string_view name);
};

}  // namespace tallowmere::desktop
