#pragma once

#include <filesystem>
#include <string>

namespace tallowmere::defaults {

// Something that went wrong with a settings file. The settings stay usable in
// memory; the owner decides how to report it.
struct DefaultsIssue {
    enum class Kind {
        // The file could not be read or parsed. It was moved aside to
        // `setAside` (or left in place when even that failed, see `detail`)
        // and the program starts from the defaults.
        unreadableFile,
        // synchronize() could not write the file; the values stay in memory
        // and the next synchronize() tries again.
        writeFailed,
    };

    Kind kind;
    std::filesystem::path file;
    std::filesystem::path setAside;  // empty when the file was not moved
    std::string detail;

    std::string description() const;
};

}  // namespace tallowmere::defaults
