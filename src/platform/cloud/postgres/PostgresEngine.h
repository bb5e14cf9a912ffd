#pragma once

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/CloudEngine.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/KeyValueArea.h"
#include "platform/cloud/Notification.h"
#include "platform/cloud/postgres/PostgresConnection.h"

namespace tallowmere::cloud {

// The cloud on a PostgreSQL server: the account is the role that logs in,
// row-level security keeps each role's private rows to itself, change tags
// are row versions and pushes are rows that a trigger writes. Each open
// engine is one device of its account. Calls are synchronous and
// thread-safe; each borrows a connection of a small pool.
class PostgresEngine final : public CloudEngine, public KeyValueArea {
public:
    static constexpr std::size_t poolSize = 4;

    struct ChangeCursors {
        std::int64_t push = 0;
        std::int64_t keyValue = 0;
    };

    // Nothing when the server refuses the account or lacks the schema;
    // `failure` says why. A server that cannot be reached still gives an
    // engine: its calls fail with "network failure" until it can be.
    static std::shared_ptr<PostgresEngine> open(const Configuration& configuration, Error& failure);
    ~PostgresEngine() override;

    const std::string& deviceID() const { return deviceID_; }
    // The role the engine logs in as.
    const std::string& account() const { return account_; }
    const std::string& connectionString() const { return configuration_.connectionString; }
    // Where the change cursors stood when the engine was opened; nothing
    // when the server could not be reached then.
    const std::optional<ChangeCursors>& initialCursors() const { return initialCursors_; }

    FetchResult fetch(DatabaseScope scope, const std::vector<RecordID>& ids,
                      const std::optional<std::vector<std::string>>& desiredKeys) override;
    ModifyResult modify(DatabaseScope scope, const std::vector<Record>& save,
                        const std::vector<RecordID>& remove) override;
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

    // On the listening connection: the cursors' present positions, and
    // what other devices wrote after the cursors (which move on).
    static ChangeCursors currentCursors(PostgresConnection& connection);
    Changes readChanges(PostgresConnection& connection, ChangeCursors& cursors);

private:
    class Lease;
    struct QueryState;
    struct Page {
        std::vector<Record> records;
        std::optional<Cursor> cursor;
        std::optional<Error> error;
    };

    PostgresEngine(Configuration configuration, std::string account);
    std::unique_ptr<PostgresConnection> borrow();
    void giveBack(std::unique_ptr<PostgresConnection> connection);

    std::string owner(DatabaseScope scope) const;
    Record recordFromRow(PostgresConnection& connection, const PostgresResult& rows, int row,
                         const std::optional<std::vector<std::string>>& desiredKeys);
    std::filesystem::path assetFile(PostgresConnection& connection, const std::string& assetKey);
    std::string storeAsset(PostgresConnection& connection, const Asset& asset);
    std::optional<Error> saveOne(PostgresConnection& connection, DatabaseScope scope, const Record& record,
                                 std::vector<Record>& saved);
    Page runQuery(DatabaseScope scope, const QueryState& state, const QueryOptions& options);
    std::string encodeCursor(DatabaseScope scope, const QueryState& state) const;
    std::optional<QueryState> decodeCursor(DatabaseScope scope, const std::string& token) const;

    const Configuration configuration_;
    const std::string account_;
    const std::string deviceID_;
    std::optional<ChangeCursors> initialCursors_;
    std::mutex poolMutex_;
    std::condition_variable poolReturned_;
    std::vector<std::unique_ptr<PostgresConnection>> idle_;
    std::size_t lent_ = 0;
};

}  // namespace tallowmere::cloud
