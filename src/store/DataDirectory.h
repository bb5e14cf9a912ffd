#pragma once

#include <filesystem>

namespace tallowmere {

// Where the program keeps its data (store, search index): $XDG_DATA_HOME,
// or ~/.local/share when the variable is unset, empty or not an absolute
// path. Read from the environment at each call.
class DataDirectory {
public:
    static std::filesystem::path dataHome();
    // dataHome()/Tallowmere
    static std::filesystem::path applicationDirectory();
};

}  // namespace tallowmere
