#include "platform/cloud/EngineDatabase.h"

#include "platform/cloud/WorkerPool.h"

namespace tallowmere::cloud {
namespace {

// Runs `work` on the pool unless the operation was cancelled before it
// started; `cancelled` answers the completion then. Either way the operation
// is finished before its completion runs.
template <typename Work, typename Cancelled>
std::shared_ptr<Operation> start(Work work, Cancelled cancelled) {
    auto operation = std::make_shared<Operation>();
    WorkerPool::shared().submit([operation, work = std::move(work), cancelled = std::move(cancelled)]() mutable {
        if (operation->isCancelled()) {
            operation->markFinished();
            cancelled();
            return;
        }
        work(*operation);
    });
    return operation;
}

}  // namespace

EngineDatabase::EngineDatabase(std::shared_ptr<CloudEngine> engine, DatabaseScope scope)
    : engine_(std::move(engine)), scope_(scope) {}

std::shared_ptr<Operation> EngineDatabase::fetchRecords(std::vector<RecordID> ids,
                                                          std::optional<std::vector<std::string>> desiredKeys,
                                                          FetchCompletion completion) {
    auto shared = std::make_shared<FetchCompletion>(std::move(completion));
    return start(
        [engine = engine_, scope = scope_, ids = std::move(ids), desiredKeys = std::move(desiredKeys),
         shared](Operation& operation) {
            auto result = engine->fetch(scope, ids, desiredKeys);
            const bool cancelled = operation.isCancelled();
            operation.markFinished();
            if (cancelled) return (*shared)({}, Error::cancelled());
            (*shared)(std::move(result.records), std::move(result.error));
        },
        [shared] { (*shared)({}, Error::cancelled()); });
}

std::shared_ptr<Operation> EngineDatabase::modifyRecords(std::vector<Record> recordsToSave,
                                                           std::vector<RecordID> recordIDsToDelete,
                                                           ModifyCompletion completion) {
    auto shared = std::make_shared<ModifyCompletion>(std::move(completion));
    return start(
        [engine = engine_, scope = scope_, save = std::move(recordsToSave), remove = std::move(recordIDsToDelete),
         shared](Operation& operation) {
            // Once the save began it is reported as it ended: a cancel no
            // longer undoes it.
            auto result = engine->modify(scope, save, remove);
            operation.markFinished();
            (*shared)(std::move(result.saved), std::move(result.deleted), std::move(result.error));
        },
        [shared] { (*shared)({}, {}, Error::cancelled()); });
}

std::shared_ptr<Operation> EngineDatabase::query(const Query& query, QueryOptions options, RecordCallback onRecord,
                                                   QueryCompletion completion) {
    auto shared = std::make_shared<QueryCompletion>(std::move(completion));
    return start(
        [engine = engine_, scope = scope_, query, options = std::move(options), onRecord = std::move(onRecord),
         shared](Operation& operation) {
            auto result = engine->query(scope, query, options, onRecord, operation);
            const bool cancelled = operation.isCancelled();
            operation.markFinished();
            if (cancelled) return (*shared)(std::nullopt, Error::cancelled());
            (*shared)(std::move(result.cursor), std::move(result.error));
        },
        [shared] { (*shared)(std::nullopt, Error::cancelled()); });
}

std::shared_ptr<Operation> EngineDatabase::query(const Cursor& cursor, QueryOptions options,
                                                   RecordCallback onRecord, QueryCompletion completion) {
    auto shared = std::make_shared<QueryCompletion>(std::move(completion));
    return start(
        [engine = engine_, scope = scope_, cursor, options = std::move(options), onRecord = std::move(onRecord),
         shared](Operation& operation) {
            auto result = engine->query(scope, cursor, options, onRecord, operation);
            const bool cancelled = operation.isCancelled();
            operation.markFinished();
            if (cancelled) return (*shared)(std::nullopt, Error::cancelled());
            (*shared)(std::move(result.cursor), std::move(result.error));
        },
        [shared] { (*shared)(std::nullopt, Error::cancelled()); });
}

std::shared_ptr<Operation> EngineDatabase::fetchAllSubscriptions(SubscriptionsCompletion completion) {
    auto shared = std::make_shared<SubscriptionsCompletion>(std::move(completion));
    return start(
        [engine = engine_, scope = scope_, shared](Operation& operation) {
            auto result = engine->fetchSubscriptions(scope);
            const bool cancelled = operation.isCancelled();
            operation.markFinished();
            if (cancelled) return (*shared)({}, Error::cancelled());
            (*shared)(std::move(result.subscriptions), std::move(result.error));
        },
        [shared] { (*shared)({}, Error::cancelled()); });
}

std::shared_ptr<Operation> EngineDatabase::modifySubscriptions(std::vector<QuerySubscription> subscriptionsToSave,
                                                                 std::vector<std::string> subscriptionIDsToDelete,
                                                                 ModifySubscriptionsCompletion completion) {
    auto shared = std::make_shared<ModifySubscriptionsCompletion>(std::move(completion));
    return start(
        [engine = engine_, scope = scope_, save = std::move(subscriptionsToSave),
         remove = std::move(subscriptionIDsToDelete), shared](Operation& operation) {
            auto result = engine->modifySubscriptions(scope, save, remove);
            operation.markFinished();
            (*shared)(std::move(result.saved), std::move(result.deleted), std::move(result.error));
        },
        [shared] { (*shared)({}, {}, Error::cancelled()); });
}

}  // namespace tallowmere::cloud
