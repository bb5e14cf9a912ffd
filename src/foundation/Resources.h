#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace tallowmere {

// Files of resources/ compiled into the program (string tables, stop words,
// the page template, icons), looked up by their path below resources/.
class Resources {
public:
    static std::optional<std::string_view> data(std::string_view path);
    // Every path that starts with the prefix, sorted.
    static std::vector<std::string_view> paths(std::string_view prefix);
};

}  // namespace tallowmere
