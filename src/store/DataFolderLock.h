#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <variant>

namespace tallowmere {

// Why the data folder could not be claimed.
struct DataFolderLockFailure {
    // True when another running copy of the program holds the folder; false
    // when the folder or its lock file could not be made or locked at all.
    bool heldByAnotherCopy = false;
    std::string message;
};

// An advisory lock (flock) on a lock file in the data folder, held from
// acquire() until the object goes (or the process ends, however it ends).
// One copy of the program works on a data folder at a time: a second one
// finds the lock held and leaves the store alone.
class DataFolderLock {
public:
    static constexpr const char* fileName = "Tallowmere.lock";
    using Outcome = std::variant<std::unique_ptr<DataFolderLock>, DataFolderLockFailure>;

    // Makes the folder when missing and takes its lock without waiting.
    static Outcome acquire(const std::filesystem::path& folder);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    const std::filesystem::path& folder() const { return folder_; }

private:
    DataFolderLock(std::filesystem::path folder, int descriptor) : folder_(std::move(folder)), descriptor_(descriptor) {}

    std::filesystem::path folder_;
    int descriptor_;
};

}  // namespace tallowmere
