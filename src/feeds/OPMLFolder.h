#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tallowmere {

// One group of feeds found in an import file.
struct OPMLFolder {
    // The folder the feeds go into; absent for feeds outside any folder.
    std::optional<std::string> name;
    // Feed URL strings, in document order.
    std::vector<std::string> feeds;

    bool operator==(const OPMLFolder&) const = default;
};

}  // namespace tallowmere
