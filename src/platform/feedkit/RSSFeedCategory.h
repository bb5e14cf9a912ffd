#pragma once

#include <optional>
#include <string>

namespace tallowmere::feedkit {

// A <category> of a channel or an item; `value` is absent when the element is empty.
struct RSSFeedCategory {
    std::optional<std::string> value;
    std::optional<std::string> domain;
};

using RSSFeedItemCategory = RSSFeedCategory;

}  // namespace tallowmere::feedkit
