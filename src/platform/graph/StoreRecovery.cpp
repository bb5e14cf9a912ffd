#include "platform/graph/StoreRecovery.h"

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "platform/graph/Database.h"
#include "platform/graph/Store.h"

namespace tallowmere::graph {
namespace {

namespace fs = std::filesystem;

constexpr const char* walSuffix = "-wal";
constexpr const char* shmSuffix = "-shm";

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

bool exists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// Busy or locked is another connection at work, not damage; running out of
// memory says nothing about the file either.
bool isDamage(int code) {
    switch (code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_NOMEM:
        case SQLITE_INTERRUPT: return false;
        default: return true;
    }
}

// One connection, closed on scope exit.
class Connection {
public:
    Connection() = default;
    ~Connection() {
        if (db_) sqlite3_close_v2(db_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int open(const std::string& path, int flags) { return sqlite3_open_v2(path.c_str(), &db_, flags, nullptr); }
    sqlite3* get() const { return db_; }
    std::string error() const { return db_ ? sqlite3_errmsg(db_) : "out of memory"; }

private:
    sqlite3* db_ = nullptr;
};

// A prepared statement, finalized on scope exit.
class Query {
public:
    Query(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) statement_ = nullptr;
    }
    ~Query() { sqlite3_finalize(statement_); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    explicit operator bool() const { return statement_ != nullptr; }
    sqlite3_stmt* get() const { return statement_; }

private:
    sqlite3_stmt* statement_ = nullptr;
};

std::string timeStamp(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
    return text;
}

// --- Header repair ----------------------------------------------------------

constexpr std::array<std::uint32_t, 8> pageSizes = {4096, 1024, 2048, 8192, 16384, 32768, 65536, 512};
constexpr char magic[] = "SQLite format 3";  // with its terminating zero: 16 bytes

void put32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

bool headerLooksValid(const std::array<std::uint8_t, 100>& header) {
    if (std::memcmp(header.data(), magic, sizeof magic) != 0) return false;
    const std::uint32_t pageSize = (header[16] << 8) | header[17];
    return pageSize == 1 || (pageSize >= 512 && pageSize <= 32768 && (pageSize & (pageSize - 1)) == 0);
}

// The 100-byte header of a plain database of this page size, with no free
// pages; the database size is left to the file's length.
std::array<std::uint8_t, 100> standardHeader(std::uint32_t pageSize, bool wal) {
    std::array<std::uint8_t, 100> header{};
    std::memcpy(header.data(), magic, sizeof magic);
    header[16] = static_cast<std::uint8_t>(pageSize == 65536 ? 0 : pageSize >> 8);
    header[17] = static_cast<std::uint8_t>(pageSize == 65536 ? 1 : pageSize & 0xff);
    header[18] = header[19] = wal ? 2 : 1;
    header[21] = 64;
    header[22] = 32;
    header[23] = 32;
    put32(&header[24], 1);   // change counter
    put32(&header[40], 1);   // schema cookie
    put32(&header[44], 4);   // schema format
    put32(&header[56], 1);   // UTF-8
    put32(&header[92], 1);
    put32(&header[96], SQLITE_VERSION_NUMBER);
    return header;
}

// How well the file reads with its present header: the schema entries read
// whole, plus the tables whose first row can be reached. (A smaller page size
// than the file's can still read the schema from the front of the first page,
// but then finds no table where its root page should be.) Nothing when the
// schema cannot be read.
std::optional<int> readableParts(const std::string& path) {
    Connection connection;
    if (connection.open(path, SQLITE_OPEN_READWRITE) != SQLITE_OK) return std::nullopt;
    sqlite3_exec(connection.get(), "PRAGMA writable_schema = ON", nullptr, nullptr, nullptr);
    std::vector<std::string> tables;
    int parts = 0;
    {
        Query query(connection.get(), "SELECT type, name, sql FROM sqlite_schema");
        if (!query) return std::nullopt;
        int status = SQLITE_ROW;
        while ((status = sqlite3_step(query.get())) == SQLITE_ROW) {
            ++parts;
            const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 0));
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 1));
            if (type && name && std::strcmp(type, "table") == 0) tables.emplace_back(name);
        }
        if (status != SQLITE_DONE) return std::nullopt;
    }
    for (const auto& table : tables) {
        Query first(connection.get(), "SELECT * FROM " + quoted(table) + " LIMIT 1");
        if (!first) continue;
        const int status = sqlite3_step(first.get());
        if (status == SQLITE_ROW || status == SQLITE_DONE) ++parts;
    }
    return parts;
}

// Writes a plausible header over a damaged one: of all page sizes, the one
// with which the most of the file reads. Only the scratch copy is touched.
void repairHeader(const std::string& path, bool wal) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file) return;
    std::array<std::uint8_t, 100> header{};
    file.read(reinterpret_cast<char*>(header.data()), header.size());
    if (file.gcount() < static_cast<std::streamsize>(header.size()) || headerLooksValid(header)) return;
    auto write = [&](std::uint32_t pageSize) {
        const auto candidate = standardHeader(pageSize, wal);
        file.clear();
        file.seekp(0);
        file.write(reinterpret_cast<const char*>(candidate.data()), candidate.size());
        file.flush();
    };
    std::uint32_t best = pageSizes.front();
    int mostParts = -1;
    for (std::uint32_t pageSize : pageSizes) {
        write(pageSize);
        const auto parts = readableParts(path);
        if (parts && *parts > mostParts) {
            mostParts = *parts;
            best = pageSize;
        }
    }
    write(best);
}

// --- Copying rows -------------------------------------------------------------

std::vector<std::string> columnsOf(sqlite3* db, const std::string& table) {
    std::vector<std::string> columns;
    Query query(db, "SELECT name FROM pragma_table_info(?1)");
    if (!query) return columns;
    sqlite3_bind_text(query.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(query.get()) == SQLITE_ROW)
        columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 0)));
    return columns;
}

std::optional<std::int64_t> singleInteger(sqlite3* db, const std::string& sql, const std::string& argument = {}) {
    Query query(db, sql);
    if (!query) return std::nullopt;
    if (!argument.empty()) sqlite3_bind_text(query.get(), 1, argument.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(query.get()) != SQLITE_ROW || sqlite3_column_type(query.get(), 0) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(query.get(), 0);
}

using RowSink = std::function<void(sqlite3_stmt* row)>;

// Reads a rowid table in key order and steps over what cannot be read: after
// a failing stretch each further key is looked up on its own (a lookup only
// descends the tree, so it gets past a damaged leaf) until one answers, and
// the scan goes on from there.
void readRowidTable(sqlite3* db, const std::string& table, const std::string& columnList, const RowSink& sink) {
    std::int64_t upper = 0;
    if (auto largest = singleInteger(db, "SELECT max(rowid) FROM " + quoted(table))) upper = *largest;
    if (auto sequence = singleInteger(db, "SELECT seq FROM sqlite_sequence WHERE name = ?1", table))
        upper = std::max(upper, *sequence);
    Query scan(db, "SELECT " + columnList + " FROM " + quoted(table) + " WHERE rowid > ?1 ORDER BY rowid");
    Query lookup(db, "SELECT " + columnList + " FROM " + quoted(table) + " WHERE rowid = ?1");
    if (!scan || !lookup) return;
    std::int64_t cursor = 0;
    for (;;) {
        sqlite3_reset(scan.get());
        sqlite3_bind_int64(scan.get(), 1, cursor);
        int status;
        while ((status = sqlite3_step(scan.get())) == SQLITE_ROW) {
            cursor = sqlite3_column_int64(scan.get(), 0);
            sink(scan.get());
        }
        if (status == SQLITE_DONE) return;
        bool found = false;
        for (std::int64_t key = cursor + 1; key <= upper && !found; ++key) {
            sqlite3_reset(lookup.get());
            sqlite3_bind_int64(lookup.get(), 1, key);
            if (sqlite3_step(lookup.get()) == SQLITE_ROW) {
                cursor = key;
                sink(lookup.get());
                found = true;
            }
        }
        if (!found) return;
    }
}

// Tables without rowid are read in one pass, as far as it goes.
void readPlainTable(sqlite3* db, const std::string& table, const std::string& columnList, const RowSink& sink) {
    Query scan(db, "SELECT " + columnList + " FROM " + quoted(table));
    if (!scan) return;
    while (sqlite3_step(scan.get()) == SQLITE_ROW) sink(scan.get());
}

struct TableInfo {
    std::string name;
    bool withoutRowid = false;
};

std::vector<TableInfo> tablesOf(sqlite3* db) {
    std::vector<TableInfo> tables;
    Query query(db, "SELECT name, sql FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite_%'");
    while (query && sqlite3_step(query.get()) == SQLITE_ROW) {
        const auto* sql = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 1));
        tables.push_back({reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 0)),
                          sql && std::strstr(sql, "WITHOUT ROWID") != nullptr});
    }
    return tables;
}

// Files from before the large tables kept those columns in the rows' own
// table (the large table's name without its "_large").
std::string sourceTableFor(sqlite3* source, const std::string& table) {
    constexpr std::string_view suffix = "_large";
    if (!table.ends_with(suffix) || !columnsOf(source, table).empty()) return table;
    return table.substr(0, table.size() - suffix.size());
}

std::int64_t copyTable(sqlite3* source, Database& target, const TableInfo& table) {
    const std::string from = sourceTableFor(source, table.name);
    const std::vector<std::string> targetColumns = columnsOf(target.handle(), table.name);
    const std::vector<std::string> sourceColumns = columnsOf(source, from);
    const std::set<std::string> present(sourceColumns.begin(), sourceColumns.end());
    std::string columnList, placeholders;
    int count = 0;
    for (const auto& column : targetColumns) {
        if (!present.count(column)) continue;
        columnList += (count ? ", " : "") + quoted(column);
        placeholders += (count ? ", ?" : "?") + std::to_string(count + 1);
        ++count;
    }
    if (count == 0) return 0;
    Query insert(target.handle(), "INSERT OR REPLACE INTO " + quoted(table.name) + "(" + columnList + ") VALUES(" +
                                      placeholders + ")");
    if (!insert) return 0;
    std::int64_t copied = 0;
    const RowSink sink = [&](sqlite3_stmt* row) {
        sqlite3_reset(insert.get());
        for (int column = 0; column < count; ++column)
            sqlite3_bind_value(insert.get(), column + 1, sqlite3_column_value(row, column + (table.withoutRowid ? 0 : 1)));
        if (sqlite3_step(insert.get()) == SQLITE_DONE) ++copied;
    };
    if (table.withoutRowid) {
        readPlainTable(source, from, columnList, sink);
    } else {
        readRowidTable(source, from, "rowid, " + columnList, sink);
    }
    return copied;
}

// Relations to rows that were lost: a key whose deletion would cascade takes
// its row along, as deleting the owner would have; any other is cleared.
// Repeated until nothing changes, since dropped rows may strand others.
void settleLostRelations(Database& target, const std::vector<TableInfo>& tables) {
    struct Key {
        std::string table, column, parent, parentColumn;
        bool cascade;
    };
    std::vector<Key> keys;
    for (const auto& table : tables) {
        Query list(target.handle(), "SELECT \"table\", \"from\", \"to\", on_delete FROM pragma_foreign_key_list(?1)");
        if (!list) continue;
        sqlite3_bind_text(list.get(), 1, table.name.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(list.get()) == SQLITE_ROW) {
            auto text = [&](int column) {
                const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(list.get(), column));
                return std::string(value ? value : "");
            };
            keys.push_back({table.name, text(1), text(0), text(2).empty() ? "id" : text(2), text(3) == "CASCADE"});
        }
    }
    for (int round = 0; round < 16; ++round) {
        int changed = 0;
        for (const auto& key : keys) {
            const std::string stranded = quoted(key.column) + " IS NOT NULL AND " + quoted(key.column) + " NOT IN (SELECT " +
                                         quoted(key.parentColumn) + " FROM " + quoted(key.parent) + ")";
            const std::string sql = key.cascade
                                        ? "DELETE FROM " + quoted(key.table) + " WHERE " + stranded
                                        : "UPDATE " + quoted(key.table) + " SET " + quoted(key.column) + " = NULL WHERE " + stranded;
            if (target.exec(sql)) changed += target.changes();
        }
        if (changed == 0) return;
    }
}

// Keys stay unused after recovery as before: no key of a lost row is handed
// out again, so stale references (search documents, saved selections) never
// name a different object.
void carryOverSequences(sqlite3* source, Database& target) {
    Query read(source, "SELECT name, seq FROM sqlite_sequence");
    Query update(target.handle(), "UPDATE sqlite_sequence SET seq = MAX(seq, ?2) WHERE name = ?1");
    Query insert(target.handle(), "INSERT INTO sqlite_sequence(name, seq) VALUES(?1, ?2)");
    if (!read || !update || !insert) return;
    while (sqlite3_step(read.get()) == SQLITE_ROW) {
        for (sqlite3_stmt* statement : {update.get(), insert.get()}) {
            sqlite3_reset(statement);
            sqlite3_bind_value(statement, 1, sqlite3_column_value(read.get(), 0));
            sqlite3_bind_int64(statement, 2, sqlite3_column_int64(read.get(), 1));
        }
        sqlite3_step(update.get());
        if (sqlite3_changes(target.handle()) == 0) sqlite3_step(insert.get());
    }
}

void removeScratch(const std::string& scratch) {
    std::error_code ignored;
    for (const char* suffix : {"", walSuffix, shmSuffix}) fs::remove(scratch + suffix, ignored);
}

// Copies the damaged file set to a scratch file beside it, so that neither
// reading nor a header repair ever touches what was set aside.
Result<std::string> makeScratchCopy(const std::string& aside) {
    const std::string scratch = aside + ".salvage";
    removeScratch(scratch);
    std::error_code error;
    fs::copy_file(aside, scratch, error);
    if (!error && exists(aside + walSuffix)) fs::copy_file(aside + walSuffix, scratch + walSuffix, error);
    if (error) {
        removeScratch(scratch);
        return GraphError{GraphErrorCode::openFailed, "cannot copy " + aside + ": " + error.message()};
    }
    return scratch;
}

Result<std::map<std::string, std::int64_t>> salvage(const std::string& aside, const std::string& path) {
    auto scratch = makeScratchCopy(aside);
    if (!scratch) return scratch.error();
    std::error_code ignored;
    repairHeader(*scratch, fs::file_size(*scratch + walSuffix, ignored) > 0);

    std::map<std::string, std::int64_t> carried;
    {
        auto target = Database::open(path);
        if (!target) {
            removeScratch(*scratch);
            return target.error();
        }
        Database& db = *target.value();
        Connection source;
        if (source.open(*scratch, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX) == SQLITE_OK) {
            // Lets SQLite read a file shorter than its header says (cut off)
            // as far as it goes, instead of refusing it whole.
            sqlite3_exec(source.get(), "PRAGMA writable_schema = ON", nullptr, nullptr, nullptr);
            db.exec("PRAGMA foreign_keys=OFF");
            db.exec("BEGIN IMMEDIATE");
            const auto tables = tablesOf(db.handle());
            for (const auto& table : tables) carried[table.name] = copyTable(source.get(), db, table);
            settleLostRelations(db, tables);
            carryOverSequences(source.get(), db);
            if (auto done = db.exec("COMMIT"); !done) {
                db.exec("ROLLBACK");
                removeScratch(*scratch);
                return done.error();
            }
            db.exec("PRAGMA foreign_keys=ON");
            // Counted after the lost relations were settled.
            for (auto& [table, rows] : carried)
                rows = singleInteger(db.handle(), "SELECT count(*) FROM " + quoted(table)).value_or(0);
        }
    }
    removeScratch(*scratch);
    return carried;
}

}  // namespace

StoreCheck StoreRecovery::check(const std::string& path, StoreCheck::Depth depth) {
    if (!exists(path)) return {StoreCheck::State::missing, {}};
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) return {StoreCheck::State::damaged, "cannot read its size: " + error.message()};
    if (size == 0) return {StoreCheck::State::damaged, "empty file"};

    auto verdict = [](const Connection& connection, int code) -> StoreCheck {
        const std::string detail = connection.error();
        if (!isDamage(code)) return {StoreCheck::State::healthy, "not checked: " + detail};
        return {StoreCheck::State::damaged, detail};
    };
    Connection connection;
    if (int status = connection.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX); status != SQLITE_OK)
        return verdict(connection, status);
    // Closing must not fold the log into the file: a damaged file is set
    // aside exactly as it was found.
    sqlite3_db_config(connection.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_busy_timeout(connection.get(), 2000);
    // Preparing any statement reads the header and the whole schema.
    const char* statement =
        depth == StoreCheck::Depth::full ? "PRAGMA quick_check(1)" : "SELECT 'ok' FROM sqlite_schema LIMIT 1";
    Query query(connection.get(), statement);
    if (!query) return verdict(connection, sqlite3_extended_errcode(connection.get()));
    const int status = sqlite3_step(query.get());
    if (status == SQLITE_DONE && depth == StoreCheck::Depth::schema) return {StoreCheck::State::healthy, {}};
    if (status != SQLITE_ROW) return verdict(connection, status);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 0));
    const std::string result = text ? text : "";
    if (result == "ok") return {StoreCheck::State::healthy, {}};
    return {StoreCheck::State::damaged, result};
}

Result<std::string> StoreRecovery::moveAside(const std::string& path, std::chrono::system_clock::time_point now) {
    const std::string base = path + ".damaged-" + timeStamp(now);
    std::string aside = base;
    for (int n = 2; exists(aside) || exists(aside + walSuffix) || exists(aside + shmSuffix); ++n)
        aside = base + "-" + std::to_string(n);
    std::vector<std::pair<std::string, std::string>> moved;
    for (const char* suffix : {"", walSuffix, shmSuffix}) {
        const std::string from = path + suffix;
        if (*suffix && !exists(from)) continue;
        std::error_code error;
        fs::rename(from, aside + suffix, error);
        if (error) {
            // All or nothing: a log left behind would be replayed into the fresh store.
            for (const auto& [original, renamed] : moved) fs::rename(renamed, original, error);
            return GraphError{GraphErrorCode::openFailed, "cannot move " + from + " aside: " + error.message()};
        }
        moved.emplace_back(from, aside + suffix);
    }
    return aside;
}

Result<StoreRecoveryReport> StoreRecovery::recover(const std::string& path, const ModelDescription& model,
                                                   std::string reason) {
    StoreRecoveryReport report;
    report.reason = std::move(reason);
    auto aside = moveAside(path);
    if (!aside) return aside.error();
    report.movedAsideTo = *aside;
    {
        ModelDescription schema = model;  // the fresh file gets the model's tables
        auto fresh = Store::open(path, schema);
        if (!fresh) return fresh.error();
    }
    auto carried = salvage(*aside, path);
    if (!carried) return carried.error();
    report.rowsCarriedOver = std::move(*carried);
    return report;
}

}  // namespace tallowmere::graph
