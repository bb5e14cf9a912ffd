#include "platform/cloud/EmbeddedContainer.h"

#include "platform/cloud/FailingDatabase.h"

namespace tallowmere::cloud {

EmbeddedContainer::EmbeddedContainer(std::shared_ptr<EmbeddedEngine> engine) : EngineContainer(engine, engine), engine_(engine) {
    watcher_ = std::make_unique<EmbeddedWatcher>(engine,
                                                 [this](CloudEngine::Changes changes) { deliver(std::move(changes)); });
}

EmbeddedContainer::~EmbeddedContainer() { watcher_.reset(); }

void EmbeddedContainer::accountStatus(AccountStatusCompletion completion) {
    FailingDatabase::answerLater(
        [completion = std::move(completion)] { completion(AccountStatus::available, std::nullopt); });
}

}  // namespace tallowmere::cloud
