#include "platform/cloud/FailingContainer.h"

#include "platform/defaults/LocalSyncedStore.h"

namespace tallowmere::cloud {

FailingContainer::FailingContainer(Error error, AccountStatus status)
    : error_(std::move(error)),
      status_(status),
      publicDatabase_(std::make_shared<FailingDatabase>(DatabaseScope::publicScope, error_)),
      privateDatabase_(std::make_shared<FailingDatabase>(DatabaseScope::privateScope, error_)),
      syncedStore_(std::make_shared<defaults::LocalSyncedStore>()) {}

std::shared_ptr<Operation> FailingContainer::fetchCurrentUserRecord(UserRecordCompletion completion) {
    return FailingDatabase::answerLater(
        [completion = std::move(completion), error = error_] { completion(std::nullopt, error); });
}

void FailingContainer::accountStatus(AccountStatusCompletion completion) {
    const std::optional<Error> error =
        status_ == AccountStatus::noAccount ? std::nullopt : std::optional<Error>(error_);
    FailingDatabase::answerLater(
        [completion = std::move(completion), status = status_, error] { completion(status, error); });
}

}  // namespace tallowmere::cloud
