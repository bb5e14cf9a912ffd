#include "platform/graph/Database.h"

#include <sqlite3.h>

#include <utility>

#include "platform/graph/CompressedText.h"
#include "platform/graph/TextFolding.h"

namespace tallowmere::graph {

Statement::~Statement() { sqlite3_finalize(statement_); }

Statement& Statement::bind(int index, const Value& value) {
    switch (value.index()) {
        case 0: sqlite3_bind_null(statement_, index); break;
        case 1: sqlite3_bind_int64(statement_, index, std::get<std::int64_t>(value)); break;
        case 2: sqlite3_bind_double(statement_, index, std::get<double>(value)); break;
        case 3: sqlite3_bind_int(statement_, index, std::get<bool>(value) ? 1 : 0); break;
        case 4: {
            const auto& s = std::get<std::string>(value);
            sqlite3_bind_text(statement_, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
            break;
        }
        case 5: sqlite3_bind_double(statement_, index, std::get<Date>(value).seconds); break;
        case 6: {
            const auto& b = std::get<Bytes>(value);
            if (b.empty()) {
                sqlite3_bind_zeroblob(statement_, index, 0);  // empty data, not absent
                break;
            }
            sqlite3_bind_blob(statement_, index, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
            break;
        }
        case 7: sqlite3_bind_int64(statement_, index, std::get<ObjectID>(value).key()); break;
    }
    return *this;
}

Statement& Statement::bindAll(const std::vector<Value>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) bind(static_cast<int>(i + 1), values[i]);
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) failed_ = true;
    return false;
}

void Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    failed_ = false;
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(statement_, column); }
bool Statement::isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

std::string Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))) : std::string();
}

Value Statement::value(int column, AttributeType type, const Value* dictionary) const {
    if (isNull(column)) return Value{};
    switch (type) {
        case AttributeType::string: return storedText(column, dictionary);
        case AttributeType::integer16:
        case AttributeType::integer64: return integer(column);
        case AttributeType::boolean: return integer(column) != 0;
        case AttributeType::date: return Date{sqlite3_column_double(statement_, column)};
        case AttributeType::real: return sqlite3_column_double(statement_, column);
        case AttributeType::binary: {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
            int n = sqlite3_column_bytes(statement_, column);
            return p ? Bytes(p, p + n) : Bytes();
        }
    }
    return Value{};
}

Value Statement::storedText(int column, const Value* dictionary) const {
    if (sqlite3_column_type(statement_, column) != SQLITE_BLOB) return text(column);
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
    const auto* dictionaryText = dictionary ? std::get_if<std::string>(dictionary) : nullptr;
    auto decoded = CompressedText::decode({p, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))},
                                          dictionaryText ? std::optional<std::string_view>(*dictionaryText) : std::nullopt);
    // A damaged stored text reads as absent rather than as its bytes, which
    // would show as garbage; the rest of the object stays readable.
    if (!decoded) return Value{};
    return std::move(decoded.value());
}

Value Statement::rawValue(int column) const {
    switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER: return integer(column);
        case SQLITE_FLOAT: return sqlite3_column_double(statement_, column);
        case SQLITE_TEXT: return text(column);
        case SQLITE_BLOB: return value(column, AttributeType::binary);
        default: return Value{};
    }
}

void Database::setBusyTimeout(std::chrono::milliseconds timeout) {
    sqlite3_busy_timeout(db_, static_cast<int>(timeout.count()));
}

Database::~Database() {
    cache_.clear();
    if (db_) sqlite3_close_v2(db_);
}

Result<std::unique_ptr<Database>> Database::open(const std::string& path) {
    auto database = std::unique_ptr<Database>(new Database());
    int rc = sqlite3_open_v2(path.c_str(), &database->db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = database->db_ ? sqlite3_errmsg(database->db_) : "out of memory";
        return GraphError{GraphErrorCode::openFailed, "cannot open " + path + ": " + message};
    }
    sqlite3_busy_timeout(database->db_, 5000);
    if (!TextFolding::registerWith(database->db_) || !CompressedText::registerWith(database->db_))
        return GraphError{GraphErrorCode::openFailed, "cannot register text functions: " + database->lastError()};
    // Page size and auto_vacuum first: they take effect only before the file
    // has its first page, which the journal mode writes. Rows holding a
    // compressed article text fill 8 KB pages far better than 4 KB ones.
    // A log started over keeps its largest size on disk unless it is cut
    // back: one burst of saves would otherwise cost that room for good.
    for (const char* pragma : {"PRAGMA page_size=8192", "PRAGMA auto_vacuum=INCREMENTAL", "PRAGMA journal_mode=WAL",
                               "PRAGMA foreign_keys=ON", "PRAGMA synchronous=NORMAL", "PRAGMA journal_size_limit=33554432"}) {
        auto done = database->exec(pragma);
        if (!done) return GraphError{GraphErrorCode::openFailed, done.error().message};
    }
    return database;
}

Result<void> Database::exec(const std::string& sql) {
    char* message = nullptr;
    if (int status = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message); status != SQLITE_OK) {
        std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        const bool busy = (status & 0xff) == SQLITE_BUSY || (status & 0xff) == SQLITE_LOCKED;
        return GraphError{busy ? GraphErrorCode::busy : GraphErrorCode::sqliteFailed, text + " (" + sql.substr(0, 200) + ")"};
    }
    return {};
}

Result<void> Database::beginWrite() {
    // A statement left in mid-step holds a read transaction on an old
    // snapshot. Then SQLite cannot wait for another connection's write lock
    // (the busy handler is skipped) and the BEGIN fails at once as "database
    // is locked"; so no statement may still be stepping here.
    for (sqlite3_stmt* statement = sqlite3_next_stmt(db_, nullptr); statement;
         statement = sqlite3_next_stmt(db_, statement))
        if (sqlite3_stmt_busy(statement)) sqlite3_reset(statement);
    return exec("BEGIN IMMEDIATE");
}

Statement* Database::prepare(const std::string& sql) {
    auto found = cache_.find(sql);
    if (found != cache_.end()) {
        found->second->reset();
        return found->second.get();
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK)
        return nullptr;
    // Values are always bound (IN lists as one JSON parameter), so the set of
    // distinct statements stays small and the cache needs no eviction.
    auto* raw = cache_.emplace(sql, std::make_unique<Statement>(statement)).first->second.get();
    return raw;
}

std::string Database::lastError() const { return db_ ? sqlite3_errmsg(db_) : "no database"; }
int Database::changes() const { return sqlite3_changes(db_); }

}  // namespace tallowmere::graph
