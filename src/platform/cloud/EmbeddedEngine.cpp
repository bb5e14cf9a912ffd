#include "platform/cloud/EmbeddedEngine.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "platform/cloud/FieldCodec.h"
#include "platform/cloud/FieldJson.h"
#include "platform/cloud/Log.h"
#include "platform/cloud/RecordChecks.h"
#include "platform/cloud/SqliteFailure.h"
#include "platform/defaults/ValueJson.h"

namespace tallowmere::cloud {
namespace {

using nlohmann::json;

constexpr int schemaVersion = 1;
constexpr const char* userRecordType = "Users";

// Kinds of the scalar index: only single values are indexed.
enum ScalarKind : std::int64_t { scalarText = 1, scalarInteger = 2, scalarReal = 3, scalarBoolean = 4, scalarDate = 5 };

std::optional<std::pair<ScalarKind, SqliteValue>> scalar(const FieldValue& value) {
    if (const auto* v = std::get_if<std::string>(&value)) return std::pair{scalarText, SqliteValue(*v)};
    if (const auto* v = std::get_if<std::int64_t>(&value)) return std::pair{scalarInteger, SqliteValue(*v)};
    if (const auto* v = std::get_if<double>(&value)) return std::pair{scalarReal, SqliteValue(*v)};
    if (const auto* v = std::get_if<bool>(&value)) return std::pair{scalarBoolean, SqliteValue(std::int64_t(*v))};
    if (const auto* v = std::get_if<Date>(&value)) {
        return std::pair{scalarDate, SqliteValue(FieldCodec::microseconds(*v))};
    }
    return std::nullopt;
}

Error errorFrom(const SqliteFailure& failure) {
    if (failure.code() == SQLITE_BUSY || failure.code() == SQLITE_LOCKED) {
        auto error = Error::make(ErrorCode::zoneBusy, std::string("the cloud file is busy: ") + failure.what());
        error.retryAfterSeconds = 1.0;
        return error;
    }
    return Error::make(ErrorCode::serviceUnavailable, std::string("the cloud file failed: ") + failure.what());
}

Error invalid(std::string description) { return Error::make(ErrorCode::invalidArguments, std::move(description)); }

Error partial(std::vector<std::pair<std::string, Error>> errors) {
    auto error = Error::make(ErrorCode::partialFailure, "some items failed");
    error.partialErrorsByItemID = std::move(errors);
    return error;
}

std::string fnvHex(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    std::ostringstream out;
    out << std::hex << hash;
    return out.str();
}

std::optional<std::string> filled(const std::optional<std::string>& key, const std::vector<std::string>& args,
                                  const Record& record) {
    if (!key) return std::nullopt;
    std::string text;
    std::size_t next = 0;
    std::size_t start = 0;
    for (auto at = key->find("%@"); at != std::string::npos; at = key->find("%@", start)) {
        text.append(*key, start, at - start);
        if (next < args.size()) {
            const FieldValue* value = record.value(args[next]);
            if (const auto* s = value ? std::get_if<std::string>(value) : nullptr) {
                text += *s;
            } else if (const auto* i = value ? std::get_if<std::int64_t>(value) : nullptr) {
                text += std::to_string(*i);
            }
        }
        ++next;
        start = at + 2;
    }
    text.append(*key, start);
    return text;
}

json sqliteToJson(const SqliteValue& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) return *i;
    if (const auto* d = std::get_if<double>(&value)) return *d;
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    return nullptr;
}

std::optional<SqliteValue> jsonToSqlite(const json& value) {
    if (value.is_number_integer()) return SqliteValue(value.get<std::int64_t>());
    if (value.is_number_float()) return SqliteValue(value.get<double>());
    if (value.is_string()) return SqliteValue(value.get<std::string>());
    return std::nullopt;
}

}  // namespace

// Where a page ended: the sort value of the last record handed out (or that
// it lacked the field) and its name.
struct EmbeddedEngine::Position {
    bool missing = false;
    SqliteValue value;
    std::string name;
};

struct EmbeddedEngine::QueryState {
    Query query;
    std::optional<Position> after;
};

struct EmbeddedEngine::StoredRow {
    std::int64_t rowID = 0;
    std::string name;
    std::string type;
    std::map<std::string, FieldValue> fields;
    std::int64_t created = 0;
    std::int64_t modified = 0;
    std::string tag;
};

// BEGIN IMMEDIATE ... COMMIT for writes, or BEGIN ... COMMIT around reads that
// must see one state of the file; rolled back when left by an exception.
class EmbeddedEngine::Transaction {
public:
    enum class Kind { write, read };
    explicit Transaction(EmbeddedEngine& engine, Kind kind = Kind::write) : engine_(engine) {
        engine_.exec(kind == Kind::write ? "BEGIN IMMEDIATE" : "BEGIN");
    }
    ~Transaction() {
        if (!done_) sqlite3_exec(engine_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit() {
        engine_.exec("COMMIT");
        done_ = true;
    }

private:
    EmbeddedEngine& engine_;
    bool done_ = false;
};

std::shared_ptr<EmbeddedEngine> EmbeddedEngine::open(const Configuration& configuration, Error& failure) {
    std::error_code ignored;
    if (configuration.file.has_parent_path()) std::filesystem::create_directories(configuration.file.parent_path(), ignored);
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(configuration.file.c_str(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (opened != SQLITE_OK) {
        failure = Error::make(ErrorCode::serviceUnavailable,
                              "cannot open the cloud file " + configuration.file.string() + ": " +
                                  (db ? sqlite3_errmsg(db) : sqlite3_errstr(opened)));
        sqlite3_close(db);
        Log::error(failure.description);
        return nullptr;
    }
    std::shared_ptr<EmbeddedEngine> engine(new EmbeddedEngine(configuration, db));
    try {
        engine->createSchema();
        engine->startCursors();
    } catch (const SqliteFailure& sqlite) {
        failure = Error::make(ErrorCode::serviceUnavailable,
                              "cannot use the cloud file " + configuration.file.string() + ": " + sqlite.what());
        Log::error(failure.description);
        return nullptr;
    }
    return engine;
}

EmbeddedEngine::EmbeddedEngine(Configuration configuration, sqlite3* db)
    : configuration_(std::move(configuration)), db_(db), random_(std::random_device()()) {
    deviceID_ = randomHex(16);
    sqlite3_busy_timeout(db_, 5000);
}

EmbeddedEngine::~EmbeddedEngine() {
    statements_.clear();
    sqlite3_close(db_);
}

void EmbeddedEngine::exec(const char* sql) {
    char* message = nullptr;
    const int result = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (result != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errstr(result);
        sqlite3_free(message);
        throw SqliteFailure(result, text);
    }
}

SqliteStatement& EmbeddedEngine::statement(const std::string& sql) {
    auto& slot = statements_[sql];
    if (!slot) {
        slot = std::make_unique<SqliteStatement>(db_, sql);
    } else {
        slot->reset();
    }
    return *slot;
}

void EmbeddedEngine::createSchema() {
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
    // The field index of a large mirror outgrows SQLite's small default cache.
    exec("PRAGMA cache_size=-32768");
    exec("PRAGMA mmap_size=268435456");
    Transaction transaction(*this);
    exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value)");
    exec("CREATE TABLE IF NOT EXISTS records(id INTEGER PRIMARY KEY, db INTEGER NOT NULL, owner TEXT NOT NULL,"
         " name TEXT NOT NULL, type TEXT NOT NULL, fields BLOB NOT NULL, created INTEGER NOT NULL,"
         " modified INTEGER NOT NULL, tag TEXT NOT NULL, UNIQUE(db, owner, name))");
    exec("CREATE INDEX IF NOT EXISTS records_type ON records(db, owner, type, name)");
    // The single-valued fields, for matching and sorting. Each row also
    // names its record's space (database, owner, type) and record name, so
    // a query reads the index alone until it has its page.
    exec("CREATE TABLE IF NOT EXISTS spaces(id INTEGER PRIMARY KEY, db INTEGER NOT NULL, owner TEXT NOT NULL,"
         " type TEXT NOT NULL, UNIQUE(db, owner, type))");
    exec("CREATE TABLE IF NOT EXISTS scalars(record INTEGER NOT NULL, key TEXT NOT NULL, space INTEGER NOT NULL,"
         " name TEXT NOT NULL, kind INTEGER NOT NULL, value, PRIMARY KEY(record, key)) WITHOUT ROWID");
    exec("CREATE INDEX IF NOT EXISTS scalars_value ON scalars(key, space, value, kind, name)");
    exec("CREATE TABLE IF NOT EXISTS assets(key TEXT PRIMARY KEY, bytes BLOB NOT NULL)");
    exec("CREATE TABLE IF NOT EXISTS subscriptions(db INTEGER NOT NULL, owner TEXT NOT NULL, id TEXT NOT NULL,"
         " type TEXT NOT NULL, body TEXT NOT NULL, PRIMARY KEY(db, owner, id))");
    exec("CREATE INDEX IF NOT EXISTS subscriptions_type ON subscriptions(db, type)");
    exec("CREATE TABLE IF NOT EXISTS pushes(seq INTEGER PRIMARY KEY AUTOINCREMENT, account TEXT NOT NULL,"
         " writer TEXT NOT NULL, db INTEGER NOT NULL, subscription TEXT NOT NULL, payload TEXT NOT NULL)");
    exec("CREATE TABLE IF NOT EXISTS kv(account TEXT NOT NULL, key TEXT NOT NULL, value TEXT, seq INTEGER NOT NULL,"
         " writer TEXT NOT NULL, PRIMARY KEY(account, key))");
    exec("CREATE INDEX IF NOT EXISTS kv_seq ON kv(seq)");
    auto& version = statement("INSERT OR IGNORE INTO meta(key, value) VALUES('schema', ?)");
    version.bind(1, std::int64_t(schemaVersion));
    version.step();
    transaction.commit();
}

void EmbeddedEngine::startCursors() {
    auto& pushes = statement("SELECT COALESCE(MAX(seq), 0) FROM pushes");
    pushes.step();
    pushCursor_ = pushes.integer(0);
    pushes.reset();
    auto& kv = statement("SELECT COALESCE(MAX(seq), 0) FROM kv");
    kv.step();
    keyValueCursor_ = kv.integer(0);
    kv.reset();
    auto& version = statement("PRAGMA data_version");
    version.step();
    dataVersion_ = version.integer(0);
    version.reset();
}

std::string EmbeddedEngine::owner(DatabaseScope scope) const {
    return scope == DatabaseScope::privateScope ? configuration_.account : std::string();
}

std::string EmbeddedEngine::randomHex(int bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        const auto byte = static_cast<unsigned>(random_() & 0xff);
        out += digits[byte >> 4];
        out += digits[byte & 0xf];
    }
    return out;
}

Date EmbeddedEngine::nextDate(std::optional<std::int64_t> previousMicroseconds) {
    std::int64_t now = FieldCodec::microseconds(std::chrono::system_clock::now());
    if (previousMicroseconds && now <= *previousMicroseconds) now = *previousMicroseconds + 1;
    return FieldCodec::date(now);
}

std::optional<EmbeddedEngine::StoredRow> EmbeddedEngine::storedRow(DatabaseScope scope, const std::string& name) {
    auto& select = statement(
        "SELECT id, type, fields, created, modified, tag FROM records WHERE db = ? AND owner = ? AND name = ?");
    select.bind(1, std::int64_t(scope)).bind(2, owner(scope)).bind(3, name);
    if (!select.step()) return std::nullopt;
    StoredRow row;
    row.rowID = select.integer(0);
    row.name = name;
    row.type = select.text(1);
    const auto bytes = select.blob(2);
    auto fields = FieldCodec::decode(bytes.data(), bytes.size());
    if (!fields) throw SqliteFailure(SQLITE_CORRUPT, "unreadable fields of record " + name);
    row.fields = std::move(*fields);
    row.created = select.integer(3);
    row.modified = select.integer(4);
    row.tag = select.text(5);
    // An unfinished statement would hold its read snapshot open.
    select.reset();
    return row;
}

std::filesystem::path EmbeddedEngine::assetFile(const std::string& assetKey) {
    const auto path = configuration_.assetCacheDirectory / assetKey;
    std::error_code error;
    if (std::filesystem::exists(path, error)) return path;
    // Not cached, or the cached file was removed: write it again.
    auto& select = statement("SELECT bytes FROM assets WHERE key = ?");
    select.bind(1, assetKey);
    if (!select.step()) return path;
    std::filesystem::create_directories(configuration_.assetCacheDirectory, error);
    const auto partial = path.string() + "." + randomHex(4) + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        const auto bytes = select.blob(0);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    select.reset();
    std::filesystem::rename(partial, path, error);
    return path;
}

std::map<std::string, FieldValue> EmbeddedEngine::materialized(std::map<std::string, FieldValue> fields) {
    for (auto& [key, value] : fields) {
        if (auto* asset = std::get_if<Asset>(&value)) asset->fileURL = assetFile(asset->fileURL.string());
    }
    return fields;
}

Record EmbeddedEngine::recordFromRow(const StoredRow& row, const std::optional<std::vector<std::string>>& desiredKeys) {
    Record record(row.type, RecordID(row.name));
    std::map<std::string, FieldValue> fields;
    if (desiredKeys) {
        for (const auto& key : *desiredKeys) {
            if (const auto found = row.fields.find(key); found != row.fields.end()) fields.insert(*found);
        }
    } else {
        fields = row.fields;
    }
    record.setFieldsFromServer(materialized(std::move(fields)));
    record.setServerFields(FieldCodec::date(row.created), FieldCodec::date(row.modified), row.tag);
    return record;
}

std::string EmbeddedEngine::storeAsset(const Asset& asset) {
    std::ifstream in(asset.fileURL, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the asset file " + asset.fileURL.string());
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string key = randomHex(16);
    auto& insert = statement("INSERT INTO assets(key, bytes) VALUES(?, ?)");
    insert.bind(1, key).bindBlob(2, bytes);
    insert.step();
    return key;
}

EmbeddedEngine::FetchResult EmbeddedEngine::fetch(DatabaseScope scope, const std::vector<RecordID>& ids,
                                                  const std::optional<std::vector<std::string>>& desiredKeys) {
    std::lock_guard lock(mutex_);
    FetchResult result;
    std::vector<std::pair<std::string, Error>> missing;
    try {
        for (const auto& id : ids) {
            const auto row = id.zoneName == RecordID::defaultZoneName ? storedRow(scope, id.recordName) : std::nullopt;
            if (row) {
                result.records.insert_or_assign(id, recordFromRow(*row, desiredKeys));
            } else {
                missing.emplace_back(id.recordName,
                                     Error::make(ErrorCode::unknownItem, "no record named " + id.recordName));
            }
        }
    } catch (const SqliteFailure& failure) {
        return {{}, errorFrom(failure)};
    }
    if (!missing.empty()) result.error = partial(std::move(missing));
    return result;
}

std::optional<Error> EmbeddedEngine::saveOne(DatabaseScope scope, const Record& record, std::vector<Record>& saved) {
    if (const auto problem = RecordChecks::problem(record)) return invalid(*problem);
    const auto& name = record.recordID().recordName;
    if (RecordChecks::leastSize(record) > maximumRecordBytes) {
        return Error::make(ErrorCode::limitExceeded, "record " + name + " is larger than 16 MB");
    }
    const auto row = storedRow(scope, name);
    if (row) {
        if (row->type != record.recordType()) return invalid("record " + name + " is of type " + row->type);
        if (record.recordChangeTag() != row->tag) {
            auto error = Error::make(ErrorCode::serverRecordChanged, "record " + name + " changed on the server");
            error.serverRecord = std::make_shared<const Record>(recordFromRow(*row, std::nullopt));
            return error;
        }
    }
    std::map<std::string, FieldValue> fields = row ? row->fields : std::map<std::string, FieldValue>();
    std::set<std::string> keys = record.changedKeys();
    if (!row) {
        for (const auto& [key, value] : record.fields()) keys.insert(key);
    }
    for (const auto& key : keys) {
        const FieldValue* value = record.value(key);
        if (!value) {
            fields.erase(key);
        } else if (const auto* asset = std::get_if<Asset>(value)) {
            try {
                fields.insert_or_assign(key, Asset{storeAsset(*asset)});
            } catch (const std::runtime_error& unreadable) {
                if (dynamic_cast<const SqliteFailure*>(&unreadable)) throw;
                return invalid(unreadable.what());
            }
        } else {
            fields.insert_or_assign(key, *value);
        }
    }
    const std::string encoded = FieldCodec::encode(fields);
    if (encoded.size() > maximumRecordBytes) {
        return Error::make(ErrorCode::limitExceeded, "record " + name + " is larger than 16 MB");
    }
    const Date modified = nextDate(row ? std::optional(row->modified) : std::nullopt);
    const Date created = row ? FieldCodec::date(row->created) : modified;
    const std::string tag = randomHex(8);
    std::int64_t rowID = 0;
    if (row) {
        auto& update = statement("UPDATE records SET fields = ?, modified = ?, tag = ? WHERE id = ?");
        update.bindBlob(1, encoded).bind(2, FieldCodec::microseconds(modified)).bind(3, tag).bind(4, row->rowID);
        update.step();
        rowID = row->rowID;
    } else {
        auto& insert = statement(
            "INSERT INTO records(db, owner, name, type, fields, created, modified, tag) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
        insert.bind(1, std::int64_t(scope)).bind(2, owner(scope)).bind(3, name).bind(4, record.recordType());
        insert.bindBlob(5, encoded).bind(6, FieldCodec::microseconds(created)).bind(7, FieldCodec::microseconds(modified));
        insert.bind(8, tag);
        insert.step();
        rowID = sqlite3_last_insert_rowid(db_);
    }
    writeScalars(rowID, *spaceID(scope, record.recordType(), true), name, fields);
    Record stored(record.recordType(), record.recordID());
    stored.setFieldsFromServer(fields);
    stored.setServerFields(created, modified, tag);
    firePushes(scope, stored, !row);
    stored.setFieldsFromServer(materialized(std::move(fields)));
    saved.push_back(std::move(stored));
    return std::nullopt;
}

std::optional<std::int64_t> EmbeddedEngine::spaceID(DatabaseScope scope, const std::string& type, bool make) {
    auto& select = statement("SELECT id FROM spaces WHERE db = ? AND owner = ? AND type = ?");
    select.bind(1, std::int64_t(scope)).bind(2, owner(scope)).bind(3, type);
    if (select.step()) {
        const auto id = select.integer(0);
        select.reset();
        return id;
    }
    if (!make) return std::nullopt;
    auto& insert = statement("INSERT INTO spaces(db, owner, type) VALUES(?, ?, ?)");
    insert.bind(1, std::int64_t(scope)).bind(2, owner(scope)).bind(3, type);
    insert.step();
    return sqlite3_last_insert_rowid(db_);
}

void EmbeddedEngine::writeScalars(std::int64_t rowID, std::int64_t space, const std::string& name,
                                  const std::map<std::string, FieldValue>& fields) {
    auto& clear = statement("DELETE FROM scalars WHERE record = ?");
    clear.bind(1, rowID);
    clear.step();
    for (const auto& [key, value] : fields) {
        const auto indexed = scalar(value);
        if (!indexed) continue;
        auto& insert =
            statement("INSERT INTO scalars(record, key, space, name, kind, value) VALUES(?, ?, ?, ?, ?, ?)");
        insert.bind(1, rowID).bind(2, key).bind(3, space).bind(4, name);
        insert.bind(5, std::int64_t(indexed->first)).bind(6, indexed->second);
        insert.step();
    }
}

void EmbeddedEngine::firePushes(DatabaseScope scope, const Record& record, bool created) {
    auto& select = statement(
        "SELECT owner, body FROM subscriptions WHERE db = ? AND type = ? AND (owner = ? OR ? = 1)");
    select.bind(1, std::int64_t(scope)).bind(2, record.recordType()).bind(3, owner(scope));
    select.bind(4, std::int64_t(scope == DatabaseScope::publicScope ? 1 : 0));
    std::vector<std::pair<std::string, std::string>> pushes;
    while (select.step()) {
        const auto subscription = FieldJson::decodeSubscription(json::parse(select.text(1), nullptr, false));
        if (!subscription) continue;
        const unsigned wanted = created ? firesOnRecordCreation : firesOnRecordUpdate;
        if (!(subscription->options & wanted) || !subscription->predicate.matches(record)) continue;
        const auto& info = subscription->notificationInfo;
        Notification notification;
        notification.subscriptionID = subscription->subscriptionID;
        notification.databaseScope = scope;
        notification.recordID = record.recordID();
        for (const auto& key : info.desiredKeys.value_or(std::vector<std::string>())) {
            const FieldValue* value = record.value(key);
            if (value && !std::holds_alternative<Asset>(*value)) notification.recordFields.emplace(key, *value);
        }
        notification.alertTitle = filled(info.titleLocalizationKey, info.titleLocalizationArgs, record);
        notification.alertBody = filled(info.alertLocalizationKey, info.alertLocalizationArgs, record);
        notification.soundName = info.soundName;
        notification.category = info.category;
        notification.contentAvailable = info.shouldSendContentAvailable;
        notification.mutableContent = info.shouldSendMutableContent;
        pushes.emplace_back(select.text(0), FieldJson::encode(notification).dump());
    }
    for (const auto& [account, payload] : pushes) {
        auto& insert =
            statement("INSERT INTO pushes(account, writer, db, subscription, payload) VALUES(?, ?, ?, ?, ?)");
        const auto id = json::parse(payload)["subscription"].get<std::string>();
        insert.bind(1, account).bind(2, deviceID_).bind(3, std::int64_t(scope)).bind(4, id).bind(5, payload);
        insert.step();
    }
}

EmbeddedEngine::ModifyResult EmbeddedEngine::modify(DatabaseScope scope, const std::vector<Record>& save,
                                                    const std::vector<RecordID>& remove) {
    std::lock_guard lock(mutex_);
    ModifyResult result;
    std::vector<std::pair<std::string, Error>> failures;
    try {
        Transaction transaction(*this);
        for (const auto& record : save) {
            if (auto failure = saveOne(scope, record, result.saved)) {
                failures.emplace_back(record.recordID().recordName, std::move(*failure));
            }
        }
        for (const auto& id : remove) {
            auto& erase = statement(
                "DELETE FROM scalars WHERE record IN (SELECT id FROM records WHERE db = ? AND owner = ? AND name = ?)");
            erase.bind(1, std::int64_t(scope)).bind(2, owner(scope)).bind(3, id.recordName);
            erase.step();
            auto& eraseRecord = statement("DELETE FROM records WHERE db = ? AND owner = ? AND name = ?");
            eraseRecord.bind(1, std::int64_t(scope)).bind(2, owner(scope)).bind(3, id.recordName);
            eraseRecord.step();
            result.deleted.push_back(id);
        }
        transaction.commit();
    } catch (const SqliteFailure& failure) {
        return {{}, {}, errorFrom(failure)};
    }
    if (!failures.empty()) result.error = partial(std::move(failures));
    return result;
}

EmbeddedEngine::PageResult EmbeddedEngine::query(DatabaseScope scope, const Query& query, const QueryOptions& options,
                                                 const Database::RecordCallback& onRecord,
                                                 const Operation& operation) {
    if (!Record::isValidFieldName(query.recordType)) return {std::nullopt, invalid("invalid record type")};
    if (const auto problem = query.predicate.problem()) return {std::nullopt, invalid(*problem)};
    if (query.sort && !Record::isValidFieldName(query.sort->key)) return {std::nullopt, invalid("invalid sort key")};
    std::unique_lock lock(mutex_);
    auto page = runQuery(scope, QueryState{query, std::nullopt}, options);
    lock.unlock();
    return deliver(std::move(page), onRecord, operation);
}

EmbeddedEngine::PageResult EmbeddedEngine::query(DatabaseScope scope, const Cursor& cursor, const QueryOptions& options,
                                                 const Database::RecordCallback& onRecord,
                                                 const Operation& operation) {
    std::unique_lock lock(mutex_);
    const auto state = decodeCursor(scope, cursor.token());
    if (!state) return {std::nullopt, invalid("the cursor does not belong to this database")};
    auto page = runQuery(scope, *state, options);
    lock.unlock();
    return deliver(std::move(page), onRecord, operation);
}

// Hands the page's records out without the engine's lock, so a record
// callback may use the engine (or the synced store) itself.
EmbeddedEngine::PageResult EmbeddedEngine::deliver(Page page, const Database::RecordCallback& onRecord,
                                                   const Operation& operation) {
    if (page.error) return {std::nullopt, std::move(page.error)};
    for (const auto& record : page.records) {
        if (operation.isCancelled()) return {std::nullopt, Error::cancelled()};
        onRecord(record);
    }
    return {std::move(page.cursor), std::nullopt};
}

EmbeddedEngine::Page EmbeddedEngine::runQuery(DatabaseScope scope, const QueryState& state,
                                              const QueryOptions& options) {
    const Query& query = state.query;
    const std::size_t pageSize = std::max<std::size_t>(configuration_.pageSize, 1);
    const std::size_t limit = options.resultsLimit == 0 ? pageSize : std::min(options.resultsLimit, pageSize);
    std::vector<SqliteValue> binds;
    const auto& predicate = query.predicate;
    const bool byField =
        predicate.kind() == Predicate::Kind::fieldEquals || predicate.kind() == Predicate::Kind::fieldIn;
    if (predicate.kind() == Predicate::Kind::fieldIn && predicate.values().empty()) return Page();
    // Matching by field reads the field index alone (never every record of
    // the type); the page's records are read by ID afterwards.
    const char* idColumn = byField ? "f.record" : "r.id";
    const char* nameColumn = byField ? "f.name" : "r.name";
    std::optional<std::int64_t> space;
    if (byField) {
        space = spaceID(scope, query.recordType, false);
        if (!space) return Page();
    }
    std::string sql = std::string("SELECT ") + idColumn + ", " + nameColumn + (query.sort ? ", s.value" : ", NULL");
    sql += byField ? " FROM scalars f" : " FROM records r";
    if (query.sort) {
        sql += std::string(" LEFT JOIN scalars s ON s.record = ") + idColumn + " AND s.key = ?";
        binds.emplace_back(query.sort->key);
    }
    if (byField) {
        sql += " WHERE f.key = ? AND f.space = ?";
        binds.insert(binds.end(), {predicate.key(), *space});
    } else {
        sql += " WHERE r.db = ? AND r.owner = ? AND r.type = ?";
        binds.insert(binds.end(), {std::int64_t(scope), owner(scope), query.recordType});
    }
    if (predicate.kind() == Predicate::Kind::fieldEquals) {
        const auto indexed = scalar(predicate.value());
        sql += " AND f.value = ? AND f.kind = ?";
        binds.insert(binds.end(), {indexed->second, std::int64_t(indexed->first)});
    } else if (predicate.kind() == Predicate::Kind::fieldIn) {
        sql += " AND f.kind = ? AND f.value IN (";
        binds.emplace_back(std::int64_t(scalarText));
        for (std::size_t i = 0; i < predicate.values().size(); ++i) {
            sql += i ? ", ?" : "?";
            binds.emplace_back(predicate.values()[i]);
        }
        sql += ")";
    }
    if (predicate.kind() == Predicate::Kind::recordIDEquals) {
        sql += " AND r.name = ?";
        binds.emplace_back(predicate.recordID().recordName);
    }
    if (state.after) {
        const auto& after = *state.after;
        const std::string name = nameColumn;
        if (!query.sort) {
            sql += " AND " + name + " > ?";
            binds.emplace_back(after.name);
        } else if (after.missing) {
            sql += " AND s.value IS NULL AND " + name + " > ?";
            binds.emplace_back(after.name);
        } else {
            const std::string beyond = query.sort->ascending ? ">" : "<";
            sql += " AND (s.value IS NULL OR s.value " + beyond + " ? OR (s.value = ? AND " + name + " > ?))";
            binds.insert(binds.end(), {after.value, after.value, after.name});
        }
    }
    if (query.sort) {
        sql += query.sort->ascending ? " ORDER BY s.value IS NULL, s.value ASC, " : " ORDER BY s.value IS NULL, s.value DESC, ";
        sql += nameColumn;
    } else {
        sql += std::string(" ORDER BY ") + nameColumn;
    }
    sql += " LIMIT ?";
    binds.emplace_back(std::int64_t(limit + 1));

    try {
        // One snapshot for the page, though other processes write meanwhile.
        Transaction transaction(*this, Transaction::Kind::read);
        auto& select = statement(sql);
        for (std::size_t i = 0; i < binds.size(); ++i) select.bind(static_cast<int>(i + 1), binds[i]);
        std::vector<std::tuple<std::int64_t, std::string, SqliteValue>> found;
        bool more = false;
        while (select.step()) {
            if (found.size() == limit) {
                more = true;
                break;
            }
            found.emplace_back(select.integer(0), select.text(1), select.value(2));
        }
        select.reset();
        std::vector<std::pair<StoredRow, SqliteValue>> rows;
        auto& load = statement("SELECT type, fields, created, modified, tag FROM records WHERE id = ?");
        for (auto& [rowID, name, sortValue] : found) {
            load.reset();
            load.bind(1, rowID);
            if (!load.step()) continue;
            StoredRow row;
            row.rowID = rowID;
            row.name = std::move(name);
            row.type = load.text(0);
            const auto bytes = load.blob(1);
            auto fields = FieldCodec::decode(bytes.data(), bytes.size());
            if (!fields) continue;
            row.fields = std::move(*fields);
            row.created = load.integer(2);
            row.modified = load.integer(3);
            row.tag = load.text(4);
            rows.emplace_back(std::move(row), std::move(sortValue));
        }
        load.reset();
        transaction.commit();
        Page page;
        std::optional<Position> last;
        for (const auto& [row, sortValue] : rows) {
            page.records.push_back(recordFromRow(row, options.desiredKeys));
            last = Position{std::holds_alternative<std::monostate>(sortValue), sortValue, row.name};
        }
        if (more && last) page.cursor = Cursor(encodeCursor(scope, QueryState{query, last}));
        return page;
    } catch (const SqliteFailure& failure) {
        Page page;
        page.error = errorFrom(failure);
        return page;
    }
}

std::string EmbeddedEngine::encodeCursor(DatabaseScope scope, const QueryState& state) const {
    json token = {{"engine", "embedded"},
                  {"scope", static_cast<int>(scope)},
                  {"owner", owner(scope)},
                  {"type", state.query.recordType},
                  {"predicate", FieldJson::encode(state.query.predicate)}};
    if (state.query.sort) token["sort"] = {{"key", state.query.sort->key}, {"ascending", state.query.sort->ascending}};
    if (state.after) {
        token["after"] = {{"missing", state.after->missing},
                          {"value", sqliteToJson(state.after->value)},
                          {"name", state.after->name}};
    }
    return token.dump();
}

std::optional<EmbeddedEngine::QueryState> EmbeddedEngine::decodeCursor(DatabaseScope scope,
                                                                       const std::string& text) const {
    const json token = json::parse(text, nullptr, false);
    if (!token.is_object() || token.value("engine", "") != "embedded") return std::nullopt;
    if (token.value("scope", 0) != static_cast<int>(scope) || token.value("owner", "\x01") != owner(scope)) {
        return std::nullopt;
    }
    QueryState state;
    state.query.recordType = token.value("type", "");
    if (!Record::isValidFieldName(state.query.recordType) || !token.contains("predicate")) return std::nullopt;
    auto predicate = FieldJson::decodePredicate(token["predicate"]);
    if (!predicate || predicate->problem()) return std::nullopt;
    state.query.predicate = std::move(*predicate);
    if (token.contains("sort")) {
        const auto& sort = token["sort"];
        if (!sort.is_object() || !sort.contains("key") || !sort["key"].is_string()) return std::nullopt;
        state.query.sort = SortDescriptor{sort["key"].get<std::string>(), sort.value("ascending", true)};
        if (!Record::isValidFieldName(state.query.sort->key)) return std::nullopt;
    }
    const auto after = token.find("after");
    if (after == token.end() || !after->is_object()) return std::nullopt;
    Position position;
    position.missing = after->value("missing", false);
    position.name = after->value("name", "");
    if (!position.missing && state.query.sort) {
        const auto value = after->contains("value") ? jsonToSqlite((*after)["value"]) : std::nullopt;
        if (!value) return std::nullopt;
        position.value = *value;
    }
    state.after = std::move(position);
    return state;
}

EmbeddedEngine::SubscriptionsResult EmbeddedEngine::fetchSubscriptions(DatabaseScope scope) {
    std::lock_guard lock(mutex_);
    SubscriptionsResult result;
    try {
        auto& select = statement("SELECT body FROM subscriptions WHERE db = ? AND owner = ?");
        select.bind(1, std::int64_t(scope)).bind(2, configuration_.account);
        while (select.step()) {
            if (auto subscription = FieldJson::decodeSubscription(json::parse(select.text(0), nullptr, false))) {
                result.subscriptions.insert_or_assign(subscription->subscriptionID, std::move(*subscription));
            }
        }
    } catch (const SqliteFailure& failure) {
        return {{}, errorFrom(failure)};
    }
    return result;
}

EmbeddedEngine::ModifySubscriptionsResult EmbeddedEngine::modifySubscriptions(
    DatabaseScope scope, const std::vector<QuerySubscription>& save, const std::vector<std::string>& remove) {
    std::vector<std::pair<std::string, Error>> failures;
    std::vector<const QuerySubscription*> valid;
    for (const auto& subscription : save) {
        std::optional<std::string> problem = subscription.predicate.problem();
        if (subscription.subscriptionID.empty()) problem = "a subscription needs an ID";
        if (!Record::isValidFieldName(subscription.recordType)) problem = "invalid record type";
        if (problem) {
            failures.emplace_back(subscription.subscriptionID, invalid(*problem));
        } else {
            valid.push_back(&subscription);
        }
    }
    std::lock_guard lock(mutex_);
    ModifySubscriptionsResult result;
    try {
        Transaction transaction(*this);
        for (const auto& id : remove) {
            auto& erase = statement("DELETE FROM subscriptions WHERE db = ? AND owner = ? AND id = ?");
            erase.bind(1, std::int64_t(scope)).bind(2, configuration_.account).bind(3, id);
            erase.step();
            result.deleted.push_back(id);
        }
        for (const auto* subscription : valid) {
            auto& upsert = statement(
                "INSERT INTO subscriptions(db, owner, id, type, body) VALUES(?, ?, ?, ?, ?)"
                " ON CONFLICT(db, owner, id) DO UPDATE SET type = excluded.type, body = excluded.body");
            upsert.bind(1, std::int64_t(scope)).bind(2, configuration_.account).bind(3, subscription->subscriptionID);
            upsert.bind(4, subscription->recordType).bind(5, FieldJson::encode(*subscription).dump());
            upsert.step();
            result.saved.push_back(*subscription);
        }
        transaction.commit();
    } catch (const SqliteFailure& failure) {
        return {{}, {}, errorFrom(failure)};
    }
    if (!failures.empty()) result.error = partial(std::move(failures));
    return result;
}

EmbeddedEngine::UserRecordResult EmbeddedEngine::currentUserRecord() {
    std::lock_guard lock(mutex_);
    const std::string name = "_" + fnvHex(configuration_.account);
    try {
        Transaction transaction(*this);
        auto row = storedRow(DatabaseScope::publicScope, name);
        if (!row) {
            std::vector<Record> saved;
            Record made(userRecordType, RecordID(name));
            if (auto error = saveOne(DatabaseScope::publicScope, made, saved)) return {std::nullopt, std::move(*error)};
            row = storedRow(DatabaseScope::publicScope, name);
        }
        transaction.commit();
        return {recordFromRow(*row, std::nullopt), std::nullopt};
    } catch (const SqliteFailure& failure) {
        return {std::nullopt, errorFrom(failure)};
    }
}

std::optional<std::map<std::string, defaults::Value>> EmbeddedEngine::loadKeyValues() {
    std::lock_guard lock(mutex_);
    std::map<std::string, defaults::Value> values;
    try {
        auto& select = statement("SELECT key, value FROM kv WHERE account = ? AND value IS NOT NULL");
        select.bind(1, configuration_.account);
        while (select.step()) {
            const auto decoded = defaults::ValueJson::decode(json::parse(select.text(1), nullptr, false));
            if (decoded) values.insert_or_assign(select.text(0), *decoded);
        }
    } catch (const SqliteFailure& failure) {
        Log::error("cannot read the synced values: " + std::string(failure.what()));
        return std::nullopt;
    }
    return values;
}

bool EmbeddedEngine::writeKeyValue(const std::string& key, const std::optional<defaults::Value>& value) {
    std::lock_guard lock(mutex_);
    try {
        Transaction transaction(*this);
        auto& next = statement("SELECT COALESCE(MAX(seq), 0) + 1 FROM kv");
        next.step();
        const std::int64_t seq = next.integer(0);
        next.reset();
        auto& upsert = statement(
            "INSERT INTO kv(account, key, value, seq, writer) VALUES(?, ?, ?, ?, ?)"
            " ON CONFLICT(account, key) DO UPDATE SET value = excluded.value, seq = excluded.seq,"
            " writer = excluded.writer");
        upsert.bind(1, configuration_.account).bind(2, key);
        if (value) {
            upsert.bind(3, defaults::ValueJson::encode(*value).dump());
        } else {
            upsert.bindNull(3);
        }
        upsert.bind(4, seq).bind(5, deviceID_);
        upsert.step();
        transaction.commit();
        return true;
    } catch (const SqliteFailure& failure) {
        Log::error("cannot write the synced value " + key + ": " + failure.what());
        return false;
    }
}

EmbeddedEngine::Changes EmbeddedEngine::readChanges() {
    std::lock_guard lock(mutex_);
    Changes changes;
    try {
        auto& version = statement("PRAGMA data_version");
        version.step();
        const std::int64_t now = version.integer(0);
        version.reset();
        if (now == dataVersion_) return changes;
        dataVersion_ = now;

        auto& pushes = statement(
            "SELECT p.seq, p.writer, p.payload, EXISTS(SELECT 1 FROM subscriptions s WHERE s.db = p.db"
            " AND s.owner = p.account AND s.id = p.subscription) FROM pushes p WHERE p.seq > ? AND p.account = ?"
            " ORDER BY p.seq");
        pushes.bind(1, pushCursor_).bind(2, configuration_.account);
        while (pushes.step()) {
            pushCursor_ = std::max(pushCursor_, pushes.integer(0));
            // Pushes of subscriptions deleted since, and the device's own, are dropped.
            if (pushes.text(1) == deviceID_ || pushes.integer(3) == 0) continue;
            if (auto notification = FieldJson::decodeNotification(json::parse(pushes.text(2), nullptr, false))) {
                changes.pushes.push_back(std::move(*notification));
            }
        }
        pushes.reset();

        auto& kv = statement("SELECT key, value, seq, writer FROM kv WHERE seq > ? AND account = ? ORDER BY seq");
        kv.bind(1, keyValueCursor_).bind(2, configuration_.account);
        while (kv.step()) {
            keyValueCursor_ = std::max(keyValueCursor_, kv.integer(2));
            if (kv.text(3) == deviceID_) continue;
            std::optional<defaults::Value> value;
            if (!kv.isNull(1)) value = defaults::ValueJson::decode(json::parse(kv.text(1), nullptr, false));
            changes.keyValues.insert_or_assign(kv.text(0), value);
        }
        kv.reset();
    } catch (const SqliteFailure& failure) {
        Log::error("cannot read the cloud file's changes: " + std::string(failure.what()));
    }
    return changes;
}

}  // namespace tallowmere::cloud
