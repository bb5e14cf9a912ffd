#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/cloud/CloudEngine.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Database.h"
#include "platform/cloud/KeyValueArea.h"
#include "platform/cloud/Notification.h"
#include "platform/cloud/RecordChecks.h"
#include "platform/cloud/SqliteStatement.h"

namespace tallowmere::cloud {

// The embedded cloud: one SQLite file (WAL) that several processes may open
// at once. Each open engine is one device of its account. It holds records
// (private ones under their owner), an index of their single-valued fields
// for matching and sorting, subscriptions, pushes and key-value pairs. Calls
// are synchronous and thread-safe; the databases run them on the worker pool.
class EmbeddedEngine final : public CloudEngine, public KeyValueArea {
public:

    static constexpr std::size_t maximumRecordBytes = RecordChecks::maximumRecordBytes;

    // Nothing when the file cannot be opened as a cloud database; `failure`
    // then says why ("service unavailable").
    static std::shared_ptr<EmbeddedEngine> open(const Configuration& configuration, Error& failure);
    ~EmbeddedEngine() override;
    EmbeddedEngine(const EmbeddedEngine&) = delete;
    EmbeddedEngine& operator=(const EmbeddedEngine&) = delete;

    const std::string& deviceID() const { return deviceID_; }
    const std::string& account() const { return configuration_.account; }
    const std::filesystem::path& file() const { return configuration_.file; }

    FetchResult fetch(DatabaseScope scope, const std::vector<RecordID>& ids,
                      const std::optional<std::vector<std::string>>& desiredKeys) override;
    ModifyResult modify(DatabaseScope scope, const std::vector<Record>& save, const std::vector<RecordID>& remove) override;
    PageResult query(DatabaseScope scope, const Query& query, const QueryOptions& options,
                     const Database::RecordCallback& onRecord, const Operation& operation) override;
    PageResult query(DatabaseScope scope, const Cursor& cursor, const QueryOptions& options,
                     const Database::RecordCallback& onRecord, const Operation& operation) override;
    SubscriptionsResult fetchSubscriptions(DatabaseScope scope) override;
    ModifySubscriptionsResult modifySubscriptions(DatabaseScope scope, const std::vector<QuerySubscription>& save,
                                                  const std::vector<std::string>& remove) override;
    UserRecordResult currentUserRecord() override;

    std::optional<std::map<std::string, defaults::Value>> loadKeyValues() override;
    bool writeKeyValue(const std::string& key, const std::optional<defaults::Value>& value) override;

    // Pushes for this account's subscriptions and key-value pairs written by
    // other devices since the last call. Cheap when nothing changed.
    Changes readChanges();

private:
    struct Position;
    struct QueryState;
    struct StoredRow;
    class Transaction;
    struct Page {
        std::vector<Record> records;
        std::optional<Cursor> cursor;
        std::optional<Error> error;
    };

    EmbeddedEngine(Configuration configuration, sqlite3* db);
    void createSchema();
    void startCursors();
    SqliteStatement& statement(const std::string& sql);
    void exec(const char* sql);

    std::string owner(DatabaseScope scope) const;
    std::optional<StoredRow> storedRow(DatabaseScope scope, const std::string& name);
    Record recordFromRow(const StoredRow& row, const std::optional<std::vector<std::string>>& desiredKeys);
    std::map<std::string, FieldValue> materialized(std::map<std::string, FieldValue> fields);
    std::filesystem::path assetFile(const std::string& assetKey);
    std::string storeAsset(const Asset& asset);
    std::optional<Error> saveOne(DatabaseScope scope, const Record& record, std::vector<Record>& saved);
    std::optional<std::int64_t> spaceID(DatabaseScope scope, const std::string& type, bool make);
    void writeScalars(std::int64_t rowID, std::int64_t space, const std::string& name,
                      const std::map<std::string, FieldValue>& fields);
    void firePushes(DatabaseScope scope, const Record& record, bool created);
    Date nextDate(std::optional<std::int64_t> previousMicroseconds);
    std::string randomHex(int bytes);

    Page runQuery(DatabaseScope scope, const QueryState& state, const QueryOptions& options);
    static PageResult deliver(Page page, const Database::RecordCallback& onRecord, const Operation& operation);
    std::string encodeCursor(DatabaseScope scope, const QueryState& state) const;
    std::optional<QueryState> decodeCursor(DatabaseScope scope, const std::string& token) const;

    const Configuration configuration_;
    sqlite3* db_;
    std::string deviceID_;
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<SqliteStatement>> statements_;
    std::mt19937_64 random_;
    std::int64_t dataVersion_ = -1;
    std::int64_t pushCursor_ = 0;
    std::int64_t keyValueCursor_ = 0;
};

}  // namespace tallowmere::cloud
