#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/cloud/Container.h"
#include "support/FaultInjectingDatabase.h"

namespace tallowmere::test {

// A container in front of another whose databases inject faults (see
// FaultInjectingDatabase) and whose user-record fetch can be made to fail
// or be held until released; it counts those fetches.
class FaultInjectingContainer final : public cloud::Container {
public:
    explicit FaultInjectingContainer(std::shared_ptr<cloud::Container> inner);

    FaultInjectingDatabase& publicFaults() { return *public_; }
    FaultInjectingDatabase& privateFaults() { return *private_; }
    void failNextUserRecord(int count, cloud::Error error);
    void holdNextUserRecord();
    void releaseUserRecord();
    int userRecordRequests() const;

    std::shared_ptr<cloud::Database> publicDatabase() override { return public_; }
    std::shared_ptr<cloud::Database> privateDatabase() override { return private_; }
    std::shared_ptr<cloud::Operation> fetchCurrentUserRecord(UserRecordCompletion completion) override;
    void accountStatus(AccountStatusCompletion completion) override { inner_->accountStatus(std::move(completion)); }
    void startPushDelivery(PushHandler handler) override { inner_->startPushDelivery(std::move(handler)); }
    void stopPushDelivery() override { inner_->stopPushDelivery(); }
    std::shared_ptr<defaults::SyncedStore> syncedStore() override { return inner_->syncedStore(); }

private:
    const std::shared_ptr<cloud::Container> inner_;
    const std::shared_ptr<FaultInjectingDatabase> public_;
    const std::shared_ptr<FaultInjectingDatabase> private_;
    mutable std::mutex mutex_;
    int userRecordFailures_ = 0;
    cloud::Error userRecordError_;
    bool holdUserRecord_ = false;
    std::deque<UserRecordCompletion> held_;
    int userRecordRequests_ = 0;
};

}  // namespace tallowmere::test
