#include "platform/cloud/postgres/PostgresContainer.h"

#include "platform/cloud/EngineDatabase.h"
#include "platform/cloud/FailingDatabase.h"

namespace tallowmere::cloud {

PostgresContainer::PostgresContainer(std::shared_ptr<PostgresEngine> engine)
    : engine_(std::move(engine)),
      publicDatabase_(std::make_shared<EngineDatabase>(engine_, DatabaseScope::publicScope)),
      privateDatabase_(std::make_shared<EngineDatabase>(engine_, DatabaseScope::privateScope)),
      syncedStore_(std::make_shared<CloudSyncedStore>(engine_)) {
    listener_ = std::make_unique<PostgresListener>(engine_, [this](PostgresEngine::Changes changes) {
        deliver(std::move(changes));
    });
}

PostgresContainer::~PostgresContainer() { listener_.reset(); }

std::shared_ptr<Operation> PostgresContainer::fetchCurrentUserRecord(UserRecordCompletion completion) {
    return FailingDatabase::answerLater([engine = engine_, completion = std::move(completion)] {
        auto result = engine->currentUserRecord();
        completion(std::move(result.record), std::move(result.error));
    });
}

void PostgresContainer::accountStatus(AccountStatusCompletion completion) {
    FailingDatabase::answerLater([engine = engine_, completion = std::move(completion)] {
        auto result = engine->currentUserRecord();
        if (!result.error) return completion(AccountStatus::available, std::nullopt);
        const auto status = result.error->code == ErrorCode::notAuthenticated ? AccountStatus::noAccount
                                                                               : AccountStatus::couldNotDetermine;
        completion(status, std::move(result.error));
    });
}

void PostgresContainer::startPushDelivery(PushHandler handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::make_shared<const PushHandler>(std::move(handler));
}

void PostgresContainer::stopPushDelivery() {
    std::lock_guard lock(handlerMutex_);
    handler_.reset();
}

void PostgresContainer::deliver(PostgresEngine::Changes changes) {
    if (!changes.keyValues.empty()) syncedStore_->applyExternalChanges(changes.keyValues);
    std::shared_ptr<const PushHandler> handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = handler_;
    }
    // Without a handler the device is not listening: its pushes are dropped.
    if (!handler) return;
    for (const auto& notification : changes.pushes) (*handler)(notification);
}

}  // namespace tallowmere::cloud
