#pragma once

#include <filesystem>

namespace tallowmere::defaults {

// Where the program keeps its settings: $XDG_CONFIG_HOME/Tallowmere, or
// ~/.config/Tallowmere when the variable is unset, empty or not an absolute
// path (as the XDG base directory rules require). Read from the environment
// at each call.
class ConfigDirectory {
public:
    static std::filesystem::path configHome();
    static std::filesystem::path applicationDirectory();
};

}  // namespace tallowmere::defaults
