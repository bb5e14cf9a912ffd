#include "platform/cloud/postgres/PostgresContainer.h"

#include "platform/cloud/FailingDatabase.h"

namespace tallowmere::cloud {

PostgresContainer::PostgresContainer(std::shared_ptr<PostgresEngine> engine) : EngineContainer(engine, engine), engine_(engine) {
    listener_ = std::make_unique<PostgresListener>(engine,
                                                   [this](CloudEngine::Changes changes) { deliver(std::move(changes)); });
}

PostgresContainer::~PostgresContainer() { listener_.reset(); }

void PostgresContainer::accountStatus(AccountStatusCompletion completion) {
    FailingDatabase::answerLater([engine = engine(), completion = std::move(completion)] {
        auto result = engine->currentUserRecord();
        if (!result.error) return completion(AccountStatus::available, std::nullopt);
        const auto status = result.error->code == ErrorCode::notAuthenticated ? AccountStatus::noAccount
                                                                               : AccountStatus::couldNotDetermine;
        completion(status, std::move(result.error));
    });
}

}  // namespace tallowmere::cloud
