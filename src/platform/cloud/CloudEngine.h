#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/Database.h"
#include "platform/cloud/Notification.h"
#include "platform/defaults/Value.h"

namespace tallowmere::cloud {

// What a backing does for a container's databases, synchronously and from
// any thread; the databases run it on the worker pool.
class CloudEngine {
public:
    // What other devices changed since the last look: pushes of this
    // account's subscriptions and its synced key-value area.
    struct Changes {
        std::vector<Notification> pushes;
        std::map<std::string, std::optional<defaults::Value>> keyValues;
    };
    struct FetchResult {
        std::map<RecordID, Record> records;
        std::optional<Error> error;
    };
    struct ModifyResult {
        std::vector<Record> saved;
        std::vector<RecordID> deleted;
        std::optional<Error> error;
    };
    struct PageResult {
        std::optional<Cursor> cursor;
        std::optional<Error> error;
    };
    struct SubscriptionsResult {
        std::map<std::string, QuerySubscription> subscriptions;
        std::optional<Error> error;
    };
    struct ModifySubscriptionsResult {
        std::vector<QuerySubscription> saved;
        std::vector<std::string> deleted;
        std::optional<Error> error;
    };
    struct UserRecordResult {
        std::optional<Record> record;
        std::optional<Error> error;
    };

    virtual ~CloudEngine() = default;

    virtual FetchResult fetch(DatabaseScope scope, const std::vector<RecordID>& ids,
                              const std::optional<std::vector<std::string>>& desiredKeys) = 0;
    virtual ModifyResult modify(DatabaseScope scope, const std::vector<Record>& save,
                                const std::vector<RecordID>& remove) = 0;
    virtual PageResult query(DatabaseScope scope, const Query& query, const QueryOptions& options,
                             const Database::RecordCallback& onRecord, const Operation& operation) = 0;
    virtual PageResult query(DatabaseScope scope, const Cursor& cursor, const QueryOptions& options,
                             const Database::RecordCallback& onRecord, const Operation& operation) = 0;
    virtual SubscriptionsResult fetchSubscriptions(DatabaseScope scope) = 0;
    virtual ModifySubscriptionsResult modifySubscriptions(DatabaseScope scope,
                                                          const std::vector<QuerySubscription>& save,
                                                          const std::vector<std::string>& remove) = 0;
    virtual UserRecordResult currentUserRecord() = 0;
};

}  // namespace tallowmere::cloud
