#pragma once

#include <string>

namespace tallowmere::textindex {

// Why an operation of the text index failed.
enum class TextIndexErrorCode {
    // The file could not be opened or created (missing folder, no permission, locked).
    cannotOpen,
    // The file is not a readable index: damaged, not a database, or a database of another kind.
    corrupt,
    // Any other failure of the database underneath (disk full, I/O error).
    storage,
};

struct TextIndexError {
    TextIndexErrorCode code;
    std::string message;

    // "corrupt: <message>", for logs.
    std::string description() const;
};

}  // namespace tallowmere::textindex
