#include "platform/cloud/Container.h"

#include <mutex>

#include "platform/cloud/EmbeddedContainer.h"
#include "platform/cloud/FailingContainer.h"
#include "platform/cloud/postgres/PostgresContainer.h"

namespace tallowmere::cloud {
namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<Container>& sharedSlot() {
    static std::shared_ptr<Container> container;
    return container;
}

}  // namespace

std::shared_ptr<Container> Container::make(const Configuration& configuration) {
    switch (configuration.kind) {
        case Configuration::Kind::none:
            return std::make_shared<FailingContainer>(Error::notAuthenticated(), AccountStatus::noAccount);
        case Configuration::Kind::localFile: {
            Error failure;
            if (auto engine = EmbeddedEngine::open(configuration, failure)) {
                return std::make_shared<EmbeddedContainer>(std::move(engine));
            }
            return std::make_shared<FailingContainer>(failure, AccountStatus::couldNotDetermine);
        }
        case Configuration::Kind::postgres: {
            Error failure;
            if (auto engine = PostgresEngine::open(configuration, failure)) {
                return std::make_shared<PostgresContainer>(std::move(engine));
            }
            // An unreadable string or a refused role: signed out.
            const auto status = failure.code == ErrorCode::notAuthenticated ? AccountStatus::noAccount
                                                                            : AccountStatus::couldNotDetermine;
            return std::make_shared<FailingContainer>(failure, status);
        }
    }
    return std::make_shared<FailingContainer>(Error::notAuthenticated(), AccountStatus::noAccount);
}

std::shared_ptr<Container> Container::shared() {
    std::lock_guard lock(sharedMutex());
    auto& container = sharedSlot();
    if (!container) {
        container = make(Configuration::current());
        defaults::SyncedStore::setDefaultStore(container->syncedStore());
    }
    return container;
}

void Container::setShared(std::shared_ptr<Container> container) {
    std::lock_guard lock(sharedMutex());
    if (container) defaults::SyncedStore::setDefaultStore(container->syncedStore());
    sharedSlot() = std::move(container);
}

}  // namespace tallowmere::cloud
