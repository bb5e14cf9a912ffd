#pragma once

#include <optional>
#include <string>

namespace tallowmere::feedkit {

// A <category> of a feed or an entry; `attributes` is absent when the element has none.
struct AtomFeedCategory {
    struct Attributes {
        std::optional<std::string> term;
        std::optional<std::string> scheme;
        std::optional<std::string> label;
    };
    std::optional<Attributes> attributes;
};

using AtomFeedEntryCategory = AtomFeedCategory;

}  // namespace tallowmere::feedkit
