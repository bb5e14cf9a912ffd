#pragma once

#include <filesystem>
#include <string>

namespace tallowmere {

// Why an import file could not be read or an export could not be written,
// with a message the window can show as it stands.
struct OPMLError {
    enum class Code {
        unreadableFile,  // missing, not a regular file, no permission, too large
        notXML,          // not XML even after the lenient read
        notOPML,         // XML, but no subscription list in it
        unsafeContent,   // entity expansion beyond the budget
        writeFailed,     // the export could not be written or put in place
    };

    Code code;
    std::string message;

    static OPMLError make(Code code, const std::filesystem::path& file, const std::string& reason);
};

}  // namespace tallowmere
