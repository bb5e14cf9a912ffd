#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tallowmere::feedkit {

// The podcast elements read from a channel or an item.
struct ITunesNamespace {
    std::optional<std::string> author;
    std::optional<std::string> summary;
    // The `text` of each category, nested subcategories included.
    std::optional<std::vector<std::string>> categories;
};

}  // namespace tallowmere::feedkit
