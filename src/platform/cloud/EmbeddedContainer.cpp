#include "platform/cloud/EmbeddedContainer.h"

#include "platform/cloud/EngineDatabase.h"
#include "platform/cloud/FailingDatabase.h"

namespace tallowmere::cloud {

EmbeddedContainer::EmbeddedContainer(std::shared_ptr<EmbeddedEngine> engine)
    : engine_(std::move(engine)),
      publicDatabase_(std::make_shared<EngineDatabase>(engine_, DatabaseScope::publicScope)),
      privateDatabase_(std::make_shared<EngineDatabase>(engine_, DatabaseScope::privateScope)),
      syncedStore_(std::make_shared<CloudSyncedStore>(engine_)) {
    watcher_ = std::make_unique<EmbeddedWatcher>(engine_, [this](EmbeddedEngine::Changes changes) {
        deliver(std::move(changes));
    });
}

EmbeddedContainer::~EmbeddedContainer() { watcher_.reset(); }

std::shared_ptr<Operation> EmbeddedContainer::fetchCurrentUserRecord(UserRecordCompletion completion) {
    return FailingDatabase::answerLater([engine = engine_, completion = std::move(completion)] {
        auto result = engine->currentUserRecord();
        completion(std::move(result.record), std::move(result.error));
    });
}

void EmbeddedContainer::accountStatus(AccountStatusCompletion completion) {
    FailingDatabase::answerLater(
        [completion = std::move(completion)] { completion(AccountStatus::available, std::nullopt); });
}

void EmbeddedContainer::startPushDelivery(PushHandler handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::make_shared<const PushHandler>(std::move(handler));
}

void EmbeddedContainer::stopPushDelivery() {
    std::lock_guard lock(handlerMutex_);
    handler_.reset();
}

void EmbeddedContainer::deliver(EmbeddedEngine::Changes changes) {
    syncedStore_->applyExternalChanges(changes.keyValues);
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
