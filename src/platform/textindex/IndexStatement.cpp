#include "platform/textindex/IndexStatement.h"

namespace tallowmere::textindex {

IndexStatement::~IndexStatement() { sqlite3_finalize(statement_); }

int IndexStatement::prepare(sqlite3* connection, std::string_view sql) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    return sqlite3_prepare_v3(connection, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                              &statement_, nullptr);
}

IndexStatement& IndexStatement::start() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    return *this;
}

IndexStatement& IndexStatement::bind(int index, std::string_view text) {
    sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    return *this;
}

IndexStatement& IndexStatement::bind(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
}

IndexStatement& IndexStatement::bindBytes(int index, std::string_view bytes) {
    sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    return *this;
}

int IndexStatement::step() { return sqlite3_step(statement_); }

int IndexStatement::run() {
    int status = SQLITE_ROW;
    while (status == SQLITE_ROW) status = sqlite3_step(statement_);
    return status;
}

std::string_view IndexStatement::text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return bytes == nullptr
               ? std::string_view()
               : std::string_view(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

int64_t IndexStatement::integer(int column) const { return sqlite3_column_int64(statement_, column); }

bool IndexStatement::holdsBytes(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_BLOB; }

}  // namespace tallowmere::textindex
