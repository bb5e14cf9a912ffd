#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string_view>

namespace tallowmere::textindex {

// One prepared statement of the index's connection, reset before each use so
// that a failed use never leaves it half-run.
class IndexStatement {
public:
    IndexStatement() = default;
    ~IndexStatement();
    IndexStatement(const IndexStatement&) = delete;
    IndexStatement& operator=(const IndexStatement&) = delete;

    // SQLite's result code.
    int prepare(sqlite3* connection, std::string_view sql);
    // Resets and clears the bindings; returns the statement for chaining binds.
    IndexStatement& start();
    IndexStatement& bind(int index, std::string_view text);
    IndexStatement& bind(int index, int64_t value);
    IndexStatement& bindBytes(int index, std::string_view bytes);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Steps until done; SQLITE_DONE or an error code.
    int run();
    std::string_view text(int column) const;
    int64_t integer(int column) const;
    bool holdsBytes(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace tallowmere::textindex
