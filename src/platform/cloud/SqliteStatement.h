#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tallowmere::cloud {

// A value bound to a statement parameter or read from a column.
using SqliteValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// A prepared statement of one connection. Values are always bound as
// parameters, never spliced into the text.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bind(int index, double value);
    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bind(int index, const std::string& text) { return bind(index, std::string_view(text)); }
    SqliteStatement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
    SqliteStatement& bindBlob(int index, std::string_view bytes);
    SqliteStatement& bindNull(int index);
    SqliteStatement& bind(int index, const SqliteValue& value);

    // True while a row is ready.
    bool step();
    // Ready for the next run: rows and bindings cleared.
    void reset();

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    std::string_view blob(int column) const;
    bool isNull(int column) const;
    SqliteValue value(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace tallowmere::cloud
