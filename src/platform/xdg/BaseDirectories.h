#pragma once

#include <filesystem>

namespace tallowmere::xdg {

// The XDG base directories, read from the environment at each call: a variable
// that is unset, empty or not an absolute path falls back to its default under
// the home folder (as the base directory rules require).
class BaseDirectories {
public:
    // $XDG_CONFIG_HOME, else ~/.config
    static std::filesystem::path configHome();
    // $XDG_DATA_HOME, else ~/.local/share
    static std::filesystem::path dataHome();
    // $HOME, else the password database, else the working folder.
    static std::filesystem::path home();
};

}  // namespace tallowmere::xdg
