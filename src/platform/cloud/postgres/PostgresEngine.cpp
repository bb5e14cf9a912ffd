#include "platform/cloud/postgres/PostgresEngine.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "platform/cloud/FieldJson.h"
#include "platform/cloud/Log.h"
#include "platform/cloud/RecordChecks.h"
#include "platform/cloud/postgres/PostgresSchema.h"
#include "platform/defaults/ValueJson.h"

namespace tallowmere::cloud {
namespace {

using nlohmann::json;

constexpr const char* userRecordType = "Users";
// The columns a Record is made of, in recordFromRow's order.
constexpr const char* recordColumns =
    "name, type, fields::text, (extract(epoch FROM created) * 1000000)::bigint,"
    " (extract(epoch FROM modified) * 1000000)::bigint, version";

Error invalid(std::string description) { return Error::make(ErrorCode::invalidArguments, std::move(description)); }

Error partial(std::vector<std::pair<std::string, Error>> errors) {
    auto error = Error::make(ErrorCode::partialFailure, "some items failed");
    error.partialErrorsByItemID = std::move(errors);
    return error;
}

std::string randomHex(int bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    thread_local std::mt19937_64 random(std::random_device{}());
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        const auto byte = static_cast<unsigned>(random() & 0xff);
        out += digits[byte >> 4];
        out += digits[byte & 0xf];
    }
    return out;
}

// An array parameter in the server's text form: every element quoted, with
// quotes and backslashes escaped.
std::string textArray(const std::vector<std::string>& values) {
    std::string out = "{";
    for (const auto& value : values) {
        if (out.size() > 1) out += ',';
        out += '"';
        for (const char c : value) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + "}";
}

std::string scopeText(DatabaseScope scope) { return std::to_string(static_cast<int>(scope)); }

// The role libpq logs in as when the server cannot be asked.
std::string configuredUser(const std::string& connectionString) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(connectionString.c_str(), &error);
    if (error) PQfreemem(error);
    std::string user;
    for (PQconninfoOption* option = options; option && option->keyword; ++option) {
        if (std::string(option->keyword) == "user" && option->val) user = option->val;
    }
    if (options) PQconninfoFree(options);
    return user.empty() ? Configuration::loginName() : user;
}

// A transaction on a borrowed connection, rolled back when left by an
// exception.
class Transaction {
public:
    explicit Transaction(PostgresConnection& connection) : connection_(connection) { connection_.execute("BEGIN"); }
    ~Transaction() {
        if (done_ || !connection_.isUsable()) return;
        try {
            connection_.execute("ROLLBACK");
        } catch (const PostgresFailure&) {
        }
    }
    void commit() {
        connection_.execute("COMMIT");
        done_ = true;
    }

private:
    PostgresConnection& connection_;
    bool done_ = false;
};

}  // namespace

// A connection of the pool for one call; back to the pool afterwards unless
// it was lost.
class PostgresEngine::Lease {
public:
    explicit Lease(PostgresEngine& engine) : engine_(engine), connection_(engine.borrow()) {}
    ~Lease() { engine_.giveBack(std::move(connection_)); }
    PostgresConnection& operator*() { return *connection_; }
    PostgresConnection* operator->() { return connection_.get(); }

private:
    PostgresEngine& engine_;
    std::unique_ptr<PostgresConnection> connection_;
};

struct PostgresEngine::QueryState {
    Query query;
    struct Position {
        bool missing = false;
        std::string value;  // the sort field's JSON
        std::string name;
    };
    std::optional<Position> after;
};

std::shared_ptr<PostgresEngine> PostgresEngine::open(const Configuration& configuration, Error& failure) {
    const auto& connectionString = configuration.connectionString;
    if (!PostgresConnection::isReadable(connectionString)) {
        failure = Error::notAuthenticated();
        Log::error("the cloud connection string cannot be read; the program runs without the cloud");
        return nullptr;
    }
    std::unique_ptr<PostgresConnection> connection;
    try {
        connection = PostgresConnection::open(connectionString);
    } catch (const PostgresFailure& refused) {
        if (refused.error().code == ErrorCode::notAuthenticated) {
            failure = refused.error();
            Log::error("the cloud server refused " + PostgresConnection::masked(connectionString) + ": " +
                       refused.error().description);
            return nullptr;
        }
        // Not reachable now: the calls fail until it is, and the managers retry.
        return std::shared_ptr<PostgresEngine>(new PostgresEngine(configuration, configuredUser(connectionString)));
    }
    try {
        const auto version = connection->execute("SELECT value FROM tallowmere.meta WHERE key = 'schema'");
        if (version.rows() == 0 || version.integer(0, 0) < PostgresSchema::version) {
            throw PostgresFailure(Error::make(ErrorCode::serviceUnavailable, "older schema"), "42P01");
        }
        const std::string account = connection->execute("SELECT current_user").text(0, 0);
        std::shared_ptr<PostgresEngine> engine(new PostgresEngine(configuration, account));
        engine->initialCursors_ = currentCursors(*connection);
        engine->giveBack(std::move(connection));
        return engine;
    } catch (const PostgresFailure& unusable) {
        if (unusable.sqlState() == "42P01" || unusable.sqlState() == "3F000") {
            failure = Error::make(ErrorCode::serviceUnavailable, "the cloud database lacks the program's tables");
            Log::error("the cloud database has no tables of this version of the program; its owner installs them with " +
                       std::string(PostgresSchema::installCommand));
            return nullptr;
        }
        if (unusable.error().code == ErrorCode::networkFailure) {
            return std::shared_ptr<PostgresEngine>(new PostgresEngine(configuration, configuredUser(connectionString)));
        }
        failure = unusable.error();
        Log::error("cannot use the cloud database: " + unusable.error().description);
        return nullptr;
    }
}

PostgresEngine::PostgresEngine(Configuration configuration, std::string account)
    : configuration_(std::move(configuration)), account_(std::move(account)), deviceID_(randomHex(16)) {}

PostgresEngine::~PostgresEngine() = default;

std::unique_ptr<PostgresConnection> PostgresEngine::borrow() {
    std::unique_lock lock(poolMutex_);
    poolReturned_.wait(lock, [&] { return !idle_.empty() || lent_ < poolSize; });
    ++lent_;
    std::unique_ptr<PostgresConnection> connection;
    if (!idle_.empty()) {
        connection = std::move(idle_.back());
        idle_.pop_back();
    }
    lock.unlock();
    try {
        // A connection the server closed while it was idle is not handed out.
        if (!connection || !connection->isUsable()) connection = PostgresConnection::open(configuration_.connectionString);
    } catch (...) {
        giveBack(nullptr);
        throw;
    }
    return connection;
}

void PostgresEngine::giveBack(std::unique_ptr<PostgresConnection> connection) {
    {
        std::lock_guard lock(poolMutex_);
        if (lent_ > 0) --lent_;
        if (connection && connection->isUsable() && PQtransactionStatus(connection->raw()) == PQTRANS_IDLE) {
            idle_.push_back(std::move(connection));
        }
    }
    poolReturned_.notify_one();
}

std::string PostgresEngine::owner(DatabaseScope scope) const {
    return scope == DatabaseScope::privateScope ? account_ : std::string();
}

std::filesystem::path PostgresEngine::assetFile(PostgresConnection& connection, const std::string& assetKey) {
    const auto path = configuration_.assetCacheDirectory / assetKey;
    std::error_code error;
    if (std::filesystem::exists(path, error)) return path;
    const auto rows = connection.execute("SELECT bytes FROM tallowmere.assets WHERE key = $1", {assetKey});
    if (rows.rows() == 0) return path;
    std::filesystem::create_directories(configuration_.assetCacheDirectory, error);
    const auto partialFile = path.string() + "." + randomHex(4) + ".part";
    {
        std::ofstream out(partialFile, std::ios::binary | std::ios::trunc);
        const auto bytes = rows.bytes(0, 0);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::filesystem::rename(partialFile, path, error);
    return path;
}

std::string PostgresEngine::storeAsset(PostgresConnection& connection, const Asset& asset) {
    std::ifstream in(asset.fileURL, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the asset file " + asset.fileURL.string());
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string key = randomHex(16);
    connection.execute("INSERT INTO tallowmere.assets(key, bytes) VALUES ($1, $2)",
                       {key, PostgresParameter::bytes(std::move(bytes))});
    return key;
}

Record PostgresEngine::recordFromRow(PostgresConnection& connection, const PostgresResult& rows, int row,
                                     const std::optional<std::vector<std::string>>& desiredKeys) {
    Record record(rows.text(row, 1), RecordID(rows.text(row, 0)));
    const json stored = json::parse(rows.text(row, 2), nullptr, false);
    std::map<std::string, FieldValue> fields;
    const auto take = [&](const std::string& key, const json& encoded) {
        auto value = FieldJson::decodeValue(encoded);
        if (!value) return;
        if (auto* asset = std::get_if<Asset>(&*value)) asset->fileURL = assetFile(connection, asset->fileURL.string());
        fields.emplace(key, std::move(*value));
    };
    if (stored.is_object()) {
        if (desiredKeys) {
            for (const auto& key : *desiredKeys) {
                if (const auto found = stored.find(key); found != stored.end()) take(key, *found);
            }
        } else {
            for (const auto& [key, encoded] : stored.items()) take(key, encoded);
        }
    }
    record.setFieldsFromServer(std::move(fields));
    record.setServerFields(Date(std::chrono::microseconds(rows.integer(row, 3))),
                           Date(std::chrono::microseconds(rows.integer(row, 4))), rows.text(row, 5));
    return record;
}

PostgresEngine::FetchResult PostgresEngine::fetch(DatabaseScope scope, const std::vector<RecordID>& ids,
                                                  const std::optional<std::vector<std::string>>& desiredKeys) {
    FetchResult result;
    std::vector<std::pair<std::string, Error>> missing;
    try {
        Lease connection(*this);
        json names = json::array();
        for (const auto& id : ids) {
            if (id.zoneName == RecordID::defaultZoneName) names.push_back(id.recordName);
        }
        const auto rows = connection->execute(
            std::string("SELECT ") + recordColumns +
                " FROM tallowmere.records WHERE db = $1 AND name IN (SELECT jsonb_array_elements_text($2::jsonb))"
                " AND (db = 1 OR owner = current_user)",
            {scopeText(scope), names.dump()});
        for (int row = 0; row < rows.rows(); ++row) {
            auto record = recordFromRow(*connection, rows, row, desiredKeys);
            result.records.insert_or_assign(record.recordID(), std::move(record));
        }
    } catch (const PostgresFailure& failure) {
        return {{}, failure.error()};
    }
    for (const auto& id : ids) {
        if (!result.records.count(id)) {
            missing.emplace_back(id.recordName, Error::make(ErrorCode::unknownItem, "no record named " + id.recordName));
        }
    }
    if (!missing.empty()) result.error = partial(std::move(missing));
    return result;
}

std::optional<Error> PostgresEngine::saveOne(PostgresConnection& connection, DatabaseScope scope, const Record& record,
                                             std::vector<Record>& saved) {
    if (const auto problem = RecordChecks::problem(record)) return invalid(*problem);
    const auto& name = record.recordID().recordName;
    const auto tooLarge = [&] {
        return Error::make(ErrorCode::limitExceeded, "record " + name + " is larger than 16 MB");
    };
    if (RecordChecks::leastSize(record) > RecordChecks::maximumRecordBytes) return tooLarge();

    connection.execute("SAVEPOINT item");
    try {
        // A saved record sends its changed fields; a new one all of them.
        const bool known = record.recordChangeTag().has_value();
        std::set<std::string> keys = record.changedKeys();
        if (!known) {
            for (const auto& [key, value] : record.fields()) keys.insert(key);
        }
        json set = json::object();
        json removed = json::array();
        for (const auto& key : keys) {
            const FieldValue* value = record.value(key);
            if (!value) {
                removed.push_back(key);
            } else if (const auto* asset = std::get_if<Asset>(value)) {
                set[key] = FieldJson::encode(FieldValue(Asset{storeAsset(connection, *asset)}));
            } else {
                set[key] = FieldJson::encode(*value);
            }
        }
        const std::string encoded = set.dump();
        if (encoded.size() > RecordChecks::maximumRecordBytes) {
            connection.execute("ROLLBACK TO SAVEPOINT item");
            return tooLarge();
        }
        const std::string returning = std::string(" RETURNING ") + recordColumns;
        std::optional<PostgresResult> rows;
        if (known) {
            rows = connection.execute(
                "UPDATE tallowmere.records SET fields = (fields - ARRAY(SELECT jsonb_array_elements_text($5::jsonb)))"
                " || $4::jsonb WHERE db = $1 AND name = $2 AND (db = 1 OR owner = current_user)"
                " AND version = $3::bigint AND type = $6" + returning,
                {scopeText(scope), name, *record.recordChangeTag(), encoded, removed.dump(), record.recordType()});
        }
        const auto server = [&] {
            return connection.execute(std::string("SELECT ") + recordColumns +
                                          " FROM tallowmere.records WHERE db = $1 AND name = $2"
                                          " AND (db = 1 OR owner = current_user)",
                                      {scopeText(scope), name});
        };
        if (!rows || rows->rows() == 0) {
            auto existing = server();
            if (existing.rows() > 0) {
                connection.execute("ROLLBACK TO SAVEPOINT item");
                if (existing.text(0, 1) != record.recordType()) {
                    return invalid("record " + name + " is of type " + existing.text(0, 1));
                }
                if (known && existing.text(0, 5) == *record.recordChangeTag()) {
                    return Error::make(ErrorCode::permissionFailure, "record " + name + " belongs to another account");
                }
                auto error = Error::make(ErrorCode::serverRecordChanged, "record " + name + " changed on the server");
                error.serverRecord = std::make_shared<const Record>(recordFromRow(connection, existing, 0, std::nullopt));
                return error;
            }
            rows = connection.execute(
                "INSERT INTO tallowmere.records(db, name, type, fields) VALUES ($1, $2, $3, $4::jsonb)"
                " ON CONFLICT DO NOTHING" + returning,
                {scopeText(scope), name, record.recordType(), encoded});
            if (rows->rows() == 0) {
                // Made by another device since the look above.
                auto made = server();
                connection.execute("ROLLBACK TO SAVEPOINT item");
                auto error = Error::make(ErrorCode::serverRecordChanged, "record " + name + " exists on the server");
                if (made.rows() > 0) {
                    error.serverRecord = std::make_shared<const Record>(recordFromRow(connection, made, 0, std::nullopt));
                }
                return error;
            }
        }
        connection.execute("RELEASE SAVEPOINT item");
        saved.push_back(recordFromRow(connection, *rows, 0, std::nullopt));
        return std::nullopt;
    } catch (const PostgresFailure& failure) {
        if (!connection.isUsable()) throw;
        connection.execute("ROLLBACK TO SAVEPOINT item");
        if (failure.error().code == ErrorCode::networkFailure) throw;
        return failure.error();
    } catch (const std::runtime_error& unreadable) {
        connection.execute("ROLLBACK TO SAVEPOINT item");
        return invalid(unreadable.what());
    }
}

PostgresEngine::ModifyResult PostgresEngine::modify(DatabaseScope scope, const std::vector<Record>& save,
                                                    const std::vector<RecordID>& remove) {
    ModifyResult result;
    std::vector<std::pair<std::string, Error>> failures;
    try {
        Lease connection(*this);
        Transaction transaction(*connection);
        // The trigger that writes pushes leaves out this device.
        connection->execute("SELECT set_config('tallowmere.device', $1, true)", {deviceID_});
        for (const auto& record : save) {
            if (auto failure = saveOne(*connection, scope, record, result.saved)) {
                failures.emplace_back(record.recordID().recordName, std::move(*failure));
            }
        }
        for (const auto& id : remove) {
            connection->execute(
                "DELETE FROM tallowmere.records WHERE db = $1 AND name = $2 AND owner = current_user",
                {scopeText(scope), id.recordName});
            result.deleted.push_back(id);
        }
        transaction.commit();
    } catch (const PostgresFailure& failure) {
        return {{}, {}, failure.error()};
    }
    if (!failures.empty()) result.error = partial(std::move(failures));
    return result;
}

PostgresEngine::PageResult PostgresEngine::query(DatabaseScope scope, const Query& query, const QueryOptions& options,
                                                 const Database::RecordCallback& onRecord,
                                                 const Operation& operation) {
    if (!Record::isValidFieldName(query.recordType)) return {std::nullopt, invalid("invalid record type")};
    if (const auto problem = query.predicate.problem()) return {std::nullopt, invalid(*problem)};
    if (query.sort && !Record::isValidFieldName(query.sort->key)) return {std::nullopt, invalid("invalid sort key")};
    auto page = runQuery(scope, QueryState{query, std::nullopt}, options);
    if (page.error) return {std::nullopt, std::move(page.error)};
    for (const auto& record : page.records) {
        if (operation.isCancelled()) return {std::nullopt, Error::cancelled()};
        onRecord(record);
    }
    return {std::move(page.cursor), std::nullopt};
}

PostgresEngine::PageResult PostgresEngine::query(DatabaseScope scope, const Cursor& cursor, const QueryOptions& options,
                                                 const Database::RecordCallback& onRecord,
                                                 const Operation& operation) {
    const auto state = decodeCursor(scope, cursor.token());
    if (!state) return {std::nullopt, invalid("the cursor does not belong to this database")};
    auto page = runQuery(scope, *state, options);
    if (page.error) return {std::nullopt, std::move(page.error)};
    for (const auto& record : page.records) {
        if (operation.isCancelled()) return {std::nullopt, Error::cancelled()};
        onRecord(record);
    }
    return {std::move(page.cursor), std::nullopt};
}

PostgresEngine::Page PostgresEngine::runQuery(DatabaseScope scope, const QueryState& state,
                                              const QueryOptions& options) {
    const Query& query = state.query;
    const auto& predicate = query.predicate;
    if (predicate.kind() == Predicate::Kind::fieldIn && predicate.values().empty()) return Page();
    if (predicate.kind() == Predicate::Kind::recordIDEquals &&
        predicate.recordID().zoneName != RecordID::defaultZoneName) {
        return Page();
    }
    const std::size_t pageSize = std::max<std::size_t>(configuration_.pageSize, 1);
    const std::size_t limit = options.resultsLimit == 0 ? pageSize : std::min(options.resultsLimit, pageSize);

    std::vector<PostgresParameter> parameters;
    const auto bind = [&](std::string value) {
        parameters.emplace_back(std::move(value));
        return "$" + std::to_string(parameters.size());
    };
    std::string sortValue = "NULL::jsonb";
    if (query.sort) sortValue = "(fields -> " + bind(query.sort->key) + ")";
    // The page is chosen first and only its rows are turned into text.
    std::string sql = "SELECT name, type, fields, created, modified, version, " + sortValue +
                      " AS sort_value FROM tallowmere.records WHERE db = " + bind(scopeText(scope)) +
                      " AND type = " + bind(query.recordType);
    if (scope == DatabaseScope::privateScope) sql += " AND owner = current_user";
    if (predicate.kind() == Predicate::Kind::fieldEquals) {
        sql += " AND fields @> " + bind(json{{predicate.key(), FieldJson::encode(predicate.value())}}.dump()) + "::jsonb";
    } else if (predicate.kind() == Predicate::Kind::fieldIn) {
        // Compared as text against a list the server hashes; an index on
        // the field's text (feed_url has one) finds the rows.
        sql += " AND (fields -> " + bind(predicate.key()) + " ->> 's') = ANY(" + bind(textArray(predicate.values())) +
               "::text[])";
    } else if (predicate.kind() == Predicate::Kind::recordIDEquals) {
        sql += " AND name = " + bind(predicate.recordID().recordName);
    }
    if (state.after) {
        const auto& after = *state.after;
        if (!query.sort) {
            sql += " AND name > " + bind(after.name);
        } else if (after.missing) {
            sql += " AND " + sortValue + " IS NULL AND name > " + bind(after.name);
        } else {
            const auto value = bind(after.value) + "::jsonb";
            sql += " AND (" + sortValue + " IS NULL OR " + sortValue + (query.sort->ascending ? " > " : " < ") + value +
                   " OR (" + sortValue + " = " + value + " AND name > " + bind(after.name) + "))";
        }
    }
    const auto order = [&](const std::string& value) {
        if (!query.sort) return std::string(" ORDER BY name");
        return " ORDER BY " + value + " IS NULL, " + value + (query.sort->ascending ? " ASC" : " DESC") + ", name";
    };
    sql += order(sortValue) + " LIMIT " + bind(std::to_string(limit + 1));
    sql = std::string("SELECT ") + recordColumns + ", page.sort_value::text FROM (" + sql + ") page" + order("page.sort_value");

    Page page;
    try {
        Lease connection(*this);
        const auto rows = connection->execute(sql, parameters);
        const int count = std::min<int>(rows.rows(), static_cast<int>(limit));
        std::optional<QueryState::Position> last;
        for (int row = 0; row < count; ++row) {
            page.records.push_back(recordFromRow(*connection, rows, row, options.desiredKeys));
            last = QueryState::Position{rows.isNull(row, 6), rows.isNull(row, 6) ? "" : rows.text(row, 6),
                                        rows.text(row, 0)};
        }
        if (rows.rows() > static_cast<int>(limit) && last) {
            page.cursor = Cursor(encodeCursor(scope, QueryState{query, last}));
        }
    } catch (const PostgresFailure& failure) {
        page = Page();
        page.error = failure.error();
    }
    return page;
}

std::string PostgresEngine::encodeCursor(DatabaseScope scope, const QueryState& state) const {
    json token = {{"engine", "postgres"},
                  {"scope", static_cast<int>(scope)},
                  {"owner", owner(scope)},
                  {"type", state.query.recordType},
                  {"predicate", FieldJson::encode(state.query.predicate)}};
    if (state.query.sort) token["sort"] = {{"key", state.query.sort->key}, {"ascending", state.query.sort->ascending}};
    if (state.after) {
        token["after"] = {{"missing", state.after->missing},
                          {"value", state.after->missing ? json() : json::parse(state.after->value, nullptr, false)},
                          {"name", state.after->name}};
    }
    return token.dump();
}

std::optional<PostgresEngine::QueryState> PostgresEngine::decodeCursor(DatabaseScope scope,
                                                                       const std::string& text) const {
    const json token = json::parse(text, nullptr, false);
    if (!token.is_object() || token.value("engine", "") != "postgres") return std::nullopt;
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
    QueryState::Position position;
    position.missing = after->value("missing", false);
    position.name = after->value("name", "");
    if (!position.missing && state.query.sort) {
        const auto value = after->find("value");
        if (value == after->end() || !value->is_object()) return std::nullopt;
        position.value = value->dump();
    }
    state.after = std::move(position);
    return state;
}

PostgresEngine::SubscriptionsResult PostgresEngine::fetchSubscriptions(DatabaseScope scope) {
    SubscriptionsResult result;
    try {
        Lease connection(*this);
        const auto rows = connection->execute(
            "SELECT body::text FROM tallowmere.subscriptions WHERE db = $1 AND owner = current_user",
            {scopeText(scope)});
        for (int row = 0; row < rows.rows(); ++row) {
            if (auto subscription = FieldJson::decodeSubscription(json::parse(rows.text(row, 0), nullptr, false))) {
                result.subscriptions.insert_or_assign(subscription->subscriptionID, std::move(*subscription));
            }
        }
    } catch (const PostgresFailure& failure) {
        return {{}, failure.error()};
    }
    return result;
}

PostgresEngine::ModifySubscriptionsResult PostgresEngine::modifySubscriptions(
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
    ModifySubscriptionsResult result;
    try {
        Lease connection(*this);
        Transaction transaction(*connection);
        for (const auto& id : remove) {
            connection->execute("DELETE FROM tallowmere.subscriptions WHERE db = $1 AND owner = current_user AND id = $2",
                                {scopeText(scope), id});
            result.deleted.push_back(id);
        }
        for (const auto* subscription : valid) {
            connection->execute(
                "INSERT INTO tallowmere.subscriptions(db, id, type, body) VALUES ($1, $2, $3, $4::jsonb)"
                " ON CONFLICT (db, owner, id) DO UPDATE SET type = excluded.type, body = excluded.body",
                {scopeText(scope), subscription->subscriptionID, subscription->recordType,
                 FieldJson::encode(*subscription).dump()});
            result.saved.push_back(*subscription);
        }
        transaction.commit();
    } catch (const PostgresFailure& failure) {
        return {{}, {}, failure.error()};
    }
    if (!failures.empty()) result.error = partial(std::move(failures));
    return result;
}

PostgresEngine::UserRecordResult PostgresEngine::currentUserRecord() {
    try {
        Lease connection(*this);
        const std::string select = std::string("SELECT ") + recordColumns +
                                   " FROM tallowmere.records WHERE db = 1 AND name = '_' || md5(current_user)";
        auto rows = connection->execute(select);
        if (rows.rows() == 0) {
            connection->execute(
                "INSERT INTO tallowmere.records(db, name, type, fields) VALUES (1, '_' || md5(current_user), $1, '{}')"
                " ON CONFLICT DO NOTHING",
                {userRecordType});
            rows = connection->execute(select);
        }
        if (rows.rows() == 0) return {std::nullopt, Error::make(ErrorCode::serviceUnavailable, "no user record")};
        return {recordFromRow(*connection, rows, 0, std::nullopt), std::nullopt};
    } catch (const PostgresFailure& failure) {
        return {std::nullopt, failure.error()};
    }
}

std::optional<std::map<std::string, defaults::Value>> PostgresEngine::loadKeyValues() {
    std::map<std::string, defaults::Value> values;
    try {
        Lease connection(*this);
        const auto rows = connection->execute(
            "SELECT key, value FROM tallowmere.kv WHERE owner = current_user AND value IS NOT NULL");
        for (int row = 0; row < rows.rows(); ++row) {
            const auto decoded = defaults::ValueJson::decode(json::parse(rows.text(row, 1), nullptr, false));
            if (decoded) values.insert_or_assign(rows.text(row, 0), *decoded);
        }
    } catch (const PostgresFailure& failure) {
        Log::error("cannot read the synced values: " + failure.error().description);
        return std::nullopt;
    }
    return values;
}

bool PostgresEngine::writeKeyValue(const std::string& key, const std::optional<defaults::Value>& value) {
    try {
        Lease connection(*this);
        PostgresParameter text;
        if (value) text = PostgresParameter(defaults::ValueJson::encode(*value).dump());
        connection->execute(
            "WITH written AS (INSERT INTO tallowmere.kv(key, value, writer) VALUES ($1, $2, $3)"
            " ON CONFLICT (owner, key) DO UPDATE SET value = excluded.value, seq = nextval('tallowmere.kv_seq'),"
            " writer = excluded.writer RETURNING 1)"
            " SELECT pg_notify(tallowmere.channel(current_user), 'kv') FROM written",
            {key, text, deviceID_});
        return true;
    } catch (const PostgresFailure& failure) {
        Log::error("cannot write the synced value " + key + ": " + failure.error().description);
        return false;
    }
}

PostgresEngine::ChangeCursors PostgresEngine::currentCursors(PostgresConnection& connection) {
    const auto rows = connection.execute(
        "SELECT (SELECT coalesce(max(id), 0) FROM tallowmere.pushes WHERE owner = current_user),"
        " (SELECT coalesce(max(seq), 0) FROM tallowmere.kv WHERE owner = current_user)");
    return {rows.integer(0, 0), rows.integer(0, 1)};
}

PostgresEngine::Changes PostgresEngine::readChanges(PostgresConnection& connection, ChangeCursors& cursors) {
    Changes changes;
    const auto pushes = connection.execute(
        "SELECT p.id, p.writer, p.payload::text, EXISTS(SELECT 1 FROM tallowmere.subscriptions s WHERE s.db = p.db"
        " AND s.owner = p.owner AND s.id = p.subscription) FROM tallowmere.pushes p"
        " WHERE p.owner = current_user AND p.id > $1 ORDER BY p.id",
        {std::to_string(cursors.push)});
    for (int row = 0; row < pushes.rows(); ++row) {
        cursors.push = std::max(cursors.push, pushes.integer(row, 0));
        // Pushes of subscriptions deleted since, and the device's own, are dropped.
        if (pushes.text(row, 1) == deviceID_ || pushes.text(row, 3) != "t") continue;
        if (auto notification = FieldJson::decodeNotification(json::parse(pushes.text(row, 2), nullptr, false))) {
            changes.pushes.push_back(std::move(*notification));
        }
    }
    const auto values = connection.execute(
        "SELECT key, value, seq, writer FROM tallowmere.kv WHERE owner = current_user AND seq > $1 ORDER BY seq",
        {std::to_string(cursors.keyValue)});
    for (int row = 0; row < values.rows(); ++row) {
        cursors.keyValue = std::max(cursors.keyValue, values.integer(row, 2));
        if (values.text(row, 3) == deviceID_) continue;
        std::optional<defaults::Value> value;
        if (!values.isNull(row, 1)) value = defaults::ValueJson::decode(json::parse(values.text(row, 1), nullptr, false));
        changes.keyValues.insert_or_assign(values.text(row, 0), value);
    }
    return changes;
}

}  // namespace tallowmere::cloud
