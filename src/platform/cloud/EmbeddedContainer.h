#pragma once

#include <memory>
#include <mutex>

#include "platform/cloud/CloudSyncedStore.h"
#include "platform/cloud/Container.h"
#include "platform/cloud/EmbeddedEngine.h"
#include "platform/cloud/EmbeddedWatcher.h"

namespace tallowmere::cloud {

// A container on the embedded engine: one device of its account on the
// cloud file.
class EmbeddedContainer final : public Container {
public:
    explicit EmbeddedContainer(std::shared_ptr<EmbeddedEngine> engine);
    ~EmbeddedContainer() override;

    std::shared_ptr<Database> publicDatabase() override { return publicDatabase_; }
    std::shared_ptr<Database> privateDatabase() override { return privateDatabase_; }
    std::shared_ptr<Operation> fetchCurrentUserRecord(UserRecordCompletion completion) override;
    void accountStatus(AccountStatusCompletion completion) override;
    std::string accountName() const override { return engine_->account(); }
    // A push being handled when delivery stops still runs to its end.
    void startPushDelivery(PushHandler handler) override;
    void stopPushDelivery() override;
    std::shared_ptr<defaults::SyncedStore> syncedStore() override { return syncedStore_; }

private:
    void deliver(EmbeddedEngine::Changes changes);

    const std::shared_ptr<EmbeddedEngine> engine_;
    const std::shared_ptr<Database> publicDatabase_;
    const std::shared_ptr<Database> privateDatabase_;
    const std::shared_ptr<CloudSyncedStore> syncedStore_;
    std::mutex handlerMutex_;
    std::shared_ptr<const PushHandler> handler_;
    // Last, so it stops before the members it delivers to go.
    std::unique_ptr<EmbeddedWatcher> watcher_;
};

}  // namespace tallowmere::cloud
