#pragma once

#include <memory>
#include <mutex>

#include "platform/cloud/CloudEngine.h"
#include "platform/cloud/CloudSyncedStore.h"
#include "platform/cloud/Container.h"
#include "platform/cloud/KeyValueArea.h"

namespace tallowmere::cloud {

// What every backing's container shares: the two databases over its
// engine, the synced key-value area, the account's record and the hand-over
// of other devices' changes to the push handler. A backing adds the thread
// that watches for those changes and its account status.
class EngineContainer : public Container {
public:
    std::shared_ptr<Database> publicDatabase() override { return publicDatabase_; }
    std::shared_ptr<Database> privateDatabase() override { return privateDatabase_; }
    std::shared_ptr<Operation> fetchCurrentUserRecord(UserRecordCompletion completion) override;
    // A push being handled when delivery stops still runs to its end.
    void startPushDelivery(PushHandler handler) override;
    void stopPushDelivery() override;
    std::shared_ptr<defaults::SyncedStore> syncedStore() override { return syncedStore_; }

protected:
    EngineContainer(std::shared_ptr<CloudEngine> engine, std::shared_ptr<KeyValueArea> keyValues);

    // Called from the backing's watching thread.
    void deliver(CloudEngine::Changes changes);
    const std::shared_ptr<CloudEngine>& engine() const { return engine_; }

private:
    const std::shared_ptr<CloudEngine> engine_;
    const std::shared_ptr<Database> publicDatabase_;
    const std::shared_ptr<Database> privateDatabase_;
    const std::shared_ptr<CloudSyncedStore> syncedStore_;
    std::mutex handlerMutex_;
    std::shared_ptr<const PushHandler> handler_;
};

}  // namespace tallowmere::cloud
