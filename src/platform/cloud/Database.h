#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/Cursor.h"
#include "platform/cloud/DatabaseScope.h"
#include "platform/cloud/Error.h"
#include "platform/cloud/Operation.h"
#include "platform/cloud/Query.h"
#include "platform/cloud/Record.h"
#include "platform/cloud/Subscription.h"

namespace tallowmere::cloud {

// One database of a container, public or private. Every call starts an
// operation and returns at once; its callbacks run later on the layer's own
// threads (never on the caller's thread, never inside the call), the
// completion exactly once, also after cancel().
class Database {
public:
    // Records found, by ID. Missing IDs make a partial failure (code 2) with
    // "unknown item" (code 11) for each of them.
    using FetchCompletion = std::function<void(std::map<RecordID, Record> records, std::optional<Error> error)>;
    // Records as saved (new change tag and dates) and the IDs deleted. A
    // record whose change tag is not the server's, or a new record whose name
    // exists, is not saved: a partial failure with "server record changed"
    // (code 14, carrying the server's record) for it.
    using ModifyCompletion =
        std::function<void(std::vector<Record> saved, std::vector<RecordID> deleted, std::optional<Error> error)>;
    using RecordCallback = std::function<void(const Record& record)>;
    // A cursor when more records are left.
    using QueryCompletion = std::function<void(std::optional<Cursor> cursor, std::optional<Error> error)>;
    using SubscriptionsCompletion =
        std::function<void(std::map<std::string, QuerySubscription> subscriptions, std::optional<Error> error)>;
    using ModifySubscriptionsCompletion = std::function<void(
        std::vector<QuerySubscription> saved, std::vector<std::string> deletedIDs, std::optional<Error> error)>;

    virtual ~Database() = default;

    virtual DatabaseScope scope() const = 0;

    virtual std::shared_ptr<Operation> fetchRecords(std::vector<RecordID> ids,
                                                    std::optional<std::vector<std::string>> desiredKeys,
                                                    FetchCompletion completion) = 0;
    virtual std::shared_ptr<Operation> modifyRecords(std::vector<Record> recordsToSave,
                                                     std::vector<RecordID> recordIDsToDelete,
                                                     ModifyCompletion completion) = 0;
    // Records come one by one to onRecord, in the query's order, then the
    // completion.
    virtual std::shared_ptr<Operation> query(const Query& query, QueryOptions options, RecordCallback onRecord,
                                             QueryCompletion completion) = 0;
    // The next page of the query the cursor came from.
    virtual std::shared_ptr<Operation> query(const Cursor& cursor, QueryOptions options, RecordCallback onRecord,
                                             QueryCompletion completion) = 0;
    // The account's subscriptions in this database, by ID.
    virtual std::shared_ptr<Operation> fetchAllSubscriptions(SubscriptionsCompletion completion) = 0;
    // Saving a subscription whose ID exists replaces it.
    virtual std::shared_ptr<Operation> modifySubscriptions(std::vector<QuerySubscription> subscriptionsToSave,
                                                           std::vector<std::string> subscriptionIDsToDelete,
                                                           ModifySubscriptionsCompletion completion) = 0;
};

}  // namespace tallowmere::cloud
