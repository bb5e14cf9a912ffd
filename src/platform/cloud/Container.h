#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/cloud/AccountStatus.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Database.h"
#include "platform/cloud/Notification.h"
#include "platform/defaults/SyncedStore.h"

namespace tallowmere::cloud {

// The program's cloud: a public and a private database of one account, the
// account's own record, pushes of its subscriptions and its synced
// key-value area. Each open container is one device of its account.
class Container {
public:
    using UserRecordCompletion = std::function<void(std::optional<Record> record, std::optional<Error> error)>;
    using AccountStatusCompletion = std::function<void(AccountStatus status, std::optional<Error> error)>;
    // Runs on the layer's push thread, one push at a time.
    using PushHandler = std::function<void(const Notification& notification)>;

    virtual ~Container() = default;

    virtual std::shared_ptr<Database> publicDatabase() = 0;
    virtual std::shared_ptr<Database> privateDatabase() = 0;

    // The account's record in the public database, made on first fetch; code
    // 9 without an account.
    virtual std::shared_ptr<Operation> fetchCurrentUserRecord(UserRecordCompletion completion) = 0;
    virtual void accountStatus(AccountStatusCompletion completion) = 0;
    // The name of the account the container is signed in as; empty without one.
    virtual std::string accountName() const { return {}; }

    // Pushes of the account's subscriptions, caused by the other devices'
    // saves, go to the handler until stopPushDelivery().
    virtual void startPushDelivery(PushHandler handler) = 0;
    virtual void stopPushDelivery() = 0;

    // The account's synced key-value area; values set by other devices reach
    // its external-change observers.
    virtual std::shared_ptr<defaults::SyncedStore> syncedStore() = 0;

    // A container on the backing the configuration names.
    static std::shared_ptr<Container> make(const Configuration& configuration);

    // The process's container, made from Configuration::current() on first
    // use; making it installs its synced store as the process's.
    static std::shared_ptr<Container> shared();
    static void setShared(std::shared_ptr<Container> container);
};

}  // namespace tallowmere::cloud
