#pragma once

#include <filesystem>

namespace tallowmere {

// Where the reader's web profile keeps what sites store: its folder, its HTTP
// cache, and the kinds of site storage that the web engine can only lose while
// no profile is open (local storage, IndexedDB, session storage, service
// workers). Their removal is asked for now and done at the next start,
// before the profile is made.
class ReaderWebStorage {
public:
    ReaderWebStorage() = delete;

    static std::filesystem::path folder();
    static std::filesystem::path cacheFolder();

    // Leaves a mark that the next start acts on.
    static bool scheduleRemovalAtNextStart();
    static bool isRemovalScheduled();
    // Removes the site storage when a mark asks for it, then the mark; before
    // the profile exists. Returns whether anything was removed.
    static bool removeScheduled();
};

}  // namespace tallowmere
