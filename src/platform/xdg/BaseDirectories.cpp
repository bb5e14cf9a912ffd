#include "platform/xdg/BaseDirectories.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tallowmere::xdg {
namespace {

std::filesystem::path absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return {};
    std::filesystem::path path(value);
    return path.is_absolute() ? path : std::filesystem::path();
}

}  // namespace

std::filesystem::path BaseDirectories::home() {
    if (auto home = absoluteFromEnvironment("HOME"); !home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir) {
        return found->pw_dir;
    }
    // No home at all (a stripped-down service account): the working folder
    // still lets the program run.
    std::error_code error;
    auto working = std::filesystem::current_path(error);
    return error ? std::filesystem::path("/") : working;
}

std::filesystem::path BaseDirectories::configHome() {
    if (auto configured = absoluteFromEnvironment("XDG_CONFIG_HOME"); !configured.empty()) return configured;
    return home() / ".config";
}

std::filesystem::path BaseDirectories::dataHome() {
    if (auto configured = absoluteFromEnvironment("XDG_DATA_HOME"); !configured.empty()) return configured;
    return home() / ".local" / "share";
}

}  // namespace tallowmere::xdg
