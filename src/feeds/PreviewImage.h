#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallowmere {

// The first image of an article's preview HTML, as an address a reader can
// load: the source is resolved against the article's link the way a browser
// resolves it, so "//cdn/x.png", "img/x.png" and "/x.png" all come out right.
class PreviewImage {
public:
    // `previewHTML` may have its markup escaped as character references.
    // Nothing when the preview holds no image with a source, or the source
    // cannot be made an address. Without a usable (absolute) link the source
    // is returned with one leading "/" dropped.
    static std::optional<std::string> firstImageAddress(std::string_view previewHTML,
                                                        const std::optional<std::string>& articleLink);

    // The source resolved against the link (see above); nothing for an
    // empty source or one that cannot be made an address.
    static std::optional<std::string> address(std::string_view source, const std::optional<std::string>& articleLink);
};

}  // namespace tallowmere
