#include "platform/cloud/EngineContainer.h"

#include "platform/cloud/EngineDatabase.h"
#include "platform/cloud/FailingDatabase.h"

namespace tallowmere::cloud {

EngineContainer::EngineContainer(std::shared_ptr<CloudEngine> engine, std::shared_ptr<KeyValueArea> keyValues)
    : engine_(std::move(engine)),
      publicDatabase_(std::make_shared<EngineDatabase>(engine_, DatabaseScope::publicScope)),
      privateDatabase_(std::make_shared<EngineDatabase>(engine_, DatabaseScope::privateScope)),
      syncedStore_(std::make_shared<CloudSyncedStore>(std::move(keyValues))) {}

std::shared_ptr<Operation> EngineContainer::fetchCurrentUserRecord(UserRecordCompletion completion) {
    return FailingDatabase::answerLater([engine = engine_, completion = std::move(completion)] {
        auto result = engine->currentUserRecord();
        completion(std::move(result.record), std::move(result.error));
    });
}

void EngineContainer::startPushDelivery(PushHandler handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::make_shared<const PushHandler>(std::move(handler));
}

void EngineContainer::stopPushDelivery() {
    std::lock_guard lock(handlerMutex_);
    handler_.reset();
}

void EngineContainer::deliver(CloudEngine::Changes changes) {
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
