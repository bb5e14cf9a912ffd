#pragma once

#include "platform/cloud/Container.h"
#include "platform/cloud/FailingDatabase.h"

namespace tallowmere::cloud {

// The container without a usable backing: no account ("none"), or a backing
// that cannot be opened. Every operation answers with the one error; the
// synced store stays on this device.
class FailingContainer final : public Container {
public:
    FailingContainer(Error error, AccountStatus status);

    std::shared_ptr<Database> publicDatabase() override { return publicDatabase_; }
    std::shared_ptr<Database> privateDatabase() override { return privateDatabase_; }
    std::shared_ptr<Operation> fetchCurrentUserRecord(UserRecordCompletion completion) override;
    void accountStatus(AccountStatusCompletion completion) override;
    void startPushDelivery(PushHandler) override {}
    void stopPushDelivery() override {}
    std::shared_ptr<defaults::SyncedStore> syncedStore() override { return syncedStore_; }

private:
    const Error error_;
    const AccountStatus status_;
    const std::shared_ptr<Database> publicDatabase_;
    const std::shared_ptr<Database> privateDatabase_;
    const std::shared_ptr<defaults::SyncedStore> syncedStore_;
};

}  // namespace tallowmere::cloud
