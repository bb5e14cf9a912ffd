#pragma once

#include "platform/cloud/Database.h"

namespace tallowmere::cloud {

// A database that answers every operation with one error: "not
// authenticated" without an account, "service unavailable" when the backing
// cannot be opened. Completions still run on the worker pool.
class FailingDatabase final : public Database {
public:
    FailingDatabase(DatabaseScope scope, Error error) : scope_(scope), error_(std::move(error)) {}

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

    // Runs `answer` on the worker pool and returns a finished-on-run operation.
    static std::shared_ptr<Operation> answerLater(std::function<void()> answer);

private:
    const DatabaseScope scope_;
    const Error error_;
};

}  // namespace tallowmere::cloud
