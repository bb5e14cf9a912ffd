#include "reader/ReaderWebStorage.h"

#include <array>
#include <fstream>
#include <system_error>

#include "foundation/Logger.h"
#include "platform/xdg/BaseDirectories.h"

namespace tallowmere {
namespace {

// The web engine's folders of site storage inside a profile's folder.
constexpr std::array<const char*, 4> kSiteStorageFolders = {"Local Storage", "IndexedDB", "Session Storage",
                                                            "Service Worker"};

// Beside the profile's folder, so that it is never taken for the engine's own.
std::filesystem::path markFile() { return ReaderWebStorage::folder().parent_path() / "RemoveWebStorageAtStart"; }

}  // namespace

std::filesystem::path ReaderWebStorage::folder() { return xdg::BaseDirectories::dataHome() / "Tallowmere" / "WebEngine"; }

std::filesystem::path ReaderWebStorage::cacheFolder() { return folder() / "Cache"; }

bool ReaderWebStorage::scheduleRemovalAtNextStart() {
    std::error_code error;
    std::filesystem::create_directories(markFile().parent_path(), error);
    std::ofstream mark(markFile(), std::ios::trunc);
    return static_cast<bool>(mark);
}

bool ReaderWebStorage::isRemovalScheduled() {
    std::error_code error;
    return std::filesystem::exists(markFile(), error);
}

bool ReaderWebStorage::removeScheduled() {
    if (!isRemovalScheduled()) return false;
    bool removedAll = true;
    for (const char* name : kSiteStorageFolders) {
        std::error_code error;
        std::filesystem::remove_all(folder() / name, error);
        if (error) {
            removedAll = false;
            Logger::warning([&] { return std::string("the web storage ") + name + " could not be removed: " + error.message(); });
        }
    }
    // A mark whose folders could not all go stays for the next try.
    std::error_code error;
    if (removedAll) std::filesystem::remove(markFile(), error);
    return true;
}

}  // namespace tallowmere
