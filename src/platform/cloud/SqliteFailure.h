#pragma once

#include <stdexcept>
#include <string>

namespace tallowmere::cloud {

// A failed SQLite call inside the embedded engine. It never leaves the
// engine: each operation turns it into an Error at its edge.
class SqliteFailure : public std::runtime_error {
public:
    SqliteFailure(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    // The primary SQLite result code (SQLITE_BUSY, SQLITE_NOTADB ...).
    int code() const { return code_ & 0xff; }

private:
    int code_;
};

}  // namespace tallowmere::cloud
