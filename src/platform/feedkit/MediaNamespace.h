#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tallowmere::feedkit {

// The Media RSS elements read from an item, also inside its media:group or
// media:content.
struct MediaNamespace {
    std::optional<std::string> title;
    std::optional<std::string> description;
    std::optional<std::vector<std::string>> categories;
};

}  // namespace tallowmere::feedkit
