#include "platform/cloud/SqliteStatement.h"

#include "platform/cloud/SqliteFailure.h"

namespace tallowmere::cloud {
namespace {

void check(sqlite3* db, int result) {
    if (result != SQLITE_OK) throw SqliteFailure(result, sqlite3_errmsg(db));
}

}  // namespace

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
    check(db_, sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr));
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
    check(db_, sqlite3_bind_int64(statement_, index, value));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, double value) {
    check(db_, sqlite3_bind_double(statement_, index, value));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
    check(db_, sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, std::string_view bytes) {
    check(db_, sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    check(db_, sqlite3_bind_null(statement_, index));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const SqliteValue& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) return bind(index, *i);
    if (const auto* d = std::get_if<double>(&value)) return bind(index, *d);
    if (const auto* s = std::get_if<std::string>(&value)) return bind(index, std::string_view(*s));
    return bindNull(index);
}

bool SqliteStatement::step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    const std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(statement_);
    throw SqliteFailure(result, message);
}

void SqliteStatement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::int64_t SqliteStatement::integer(int column) const { return sqlite3_column_int64(statement_, column); }

double SqliteStatement::real(int column) const { return sqlite3_column_double(statement_, column); }

std::string SqliteStatement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))) : std::string();
}

std::string_view SqliteStatement::blob(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    return data ? std::string_view(data, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                : std::string_view();
}

bool SqliteStatement::isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

SqliteValue SqliteStatement::value(int column) const {
    switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER: return integer(column);
        case SQLITE_FLOAT: return real(column);
        case SQLITE_TEXT:
        case SQLITE_BLOB: return text(column);
        default: return std::monostate();
    }
}

}  // namespace tallowmere::cloud
