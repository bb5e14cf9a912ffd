#pragma once

#include <optional>
#include <string>

namespace tallowmere::feedkit {

// A <link> of a feed or an entry; `attributes` is absent when the element has none.
struct AtomFeedLink {
    struct Attributes {
        std::optional<std::string> href;
        std::optional<std::string> rel;
        std::optional<std::string> type;
        std::optional<std::string> title;
    };
    std::optional<Attributes> attributes;
};

using AtomFeedEntryLink = AtomFeedLink;

}  // namespace tallowmere::feedkit
