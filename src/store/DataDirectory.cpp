#include "store/DataDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "store/StoredModel.h"

namespace tallowmere {
namespace {

std::filesystem::path absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return {};
    std::filesystem::path path(value);
    return path.is_absolute() ? path : std::filesystem::path();
}

std::filesystem::path homeDirectory() {
    if (auto home = absoluteFromEnvironment("HOME"); !home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir) {
        return found->pw_dir;
    }
    std::error_code error;
    auto working = std::filesystem::current_path(error);
    return error ? std::filesystem::path("/") : working;
}

}  // namespace

std::filesystem::path DataDirectory::dataHome() {
    if (auto configured = absoluteFromEnvironment("XDG_DATA_HOME"); !configured.empty()) return configured;
    return homeDirectory() / ".local" / "share";
}

std::filesystem::path DataDirectory::applicationDirectory() {
    return dataHome() / StoredModel::containerName;
}

}  // namespace tallowmere
