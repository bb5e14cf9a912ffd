#pragma once

#include <memory>

#include "platform/cloud/Database.h"
#include "platform/cloud/CloudEngine.h"

namespace tallowmere::cloud {

// A database of a backing's engine: runs each operation on the worker pool.
class EngineDatabase final : public Database {
public:
    EngineDatabase(std::shared_ptr<CloudEngine> engine, DatabaseScope scope);

    DatabaseScope scope() const override { return scope_; }
    std::shared_ptr<Operation> fetchRecords(std::vector<RecordID> ids,
                                            std::optional<std::vector<std::string>> desiredKeys,
                                            FetchCompletion completion) override;
    std::shared_ptr<Operation> modifyRecords(std::vector<Record> recordsToSave, std::vector<RecordID> recordIDsToDelete,
                                             ModifyCompletion completion) override;
    std::shared_ptr<Operation> query(const Query& query, QueryOptions options, RecordCallback onRecord,
                                     QueryCompletion completion) override;
    std::shared_ptr<Operation> query(const Cursor& cursor, QueryOptions options, RecordCallback onRecord,
                                     QueryCompletion completion) override;
    std::shared_ptr<Operation> fetchAllSubscriptions(SubscriptionsCompletion completion) override;
    std::shared_ptr<Operation> modifySubscriptions(std::vector<QuerySubscription> subscriptionsToSave,
                                                   std::vector<std::string> subscriptionIDsToDelete,
                                                   ModifySubscriptionsCompletion completion) override;

private:
    const std::shared_ptr<CloudEngine> engine_;
    const DatabaseScope scope_;
};

}  // namespace tallowmere::cloud
