#pragma once

#include <optional>
#include <string>

namespace tallowmere::feedkit {

// An item's <guid>; `value` is absent when the element is blank.
struct RSSFeedItemGUID {
    std::optional<std::string> value;
    std::optional<bool> isPermaLink;
};

}  // namespace tallowmere::feedkit
