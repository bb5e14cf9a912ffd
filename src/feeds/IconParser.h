#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tallowmere {

// Chooses a site's icon link from the HTML of one of its pages.
class IconParser {
public:
    // "sizes" values in order of preference; the empty entry stands for a link
    // without a "sizes" attribute.
    static const std::array<std::optional<std::string_view>, 14> preferredSizes;

    // The chosen link's "href" exactly as the page wrote it (it may be relative),
    // or nothing.
    static std::optional<std::string> iconLink(std::span<const std::uint8_t> html);
};

}  // namespace tallowmere
