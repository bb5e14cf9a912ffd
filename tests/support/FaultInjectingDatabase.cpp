#include "FaultInjectingDatabase.h"

#include "platform/cloud/FailingDatabase.h"

namespace tallowmere::test {

using cloud::Error;
using cloud::Operation;

// An operation waiting for releaseHeld() or its cancel: whichever comes
// first claims it.
struct FaultInjectingDatabase::Held {
    std::shared_ptr<Operation> outer;
    std::function<std::shared_ptr<Operation>()> start;
    std::function<void(const Error&)> fail;
    std::atomic<bool> claimed{false};
    bool claim() { return !claimed.exchange(true); }
};

void FaultInjectingDatabase::failNext(Kind kind, int count, Error error) {
    std::lock_guard lock(mutex_);
    auto& rule = rules_[static_cast<std::size_t>(kind)];
    rule.failures = count;
    rule.error = std::move(error);
}

void FaultInjectingDatabase::holdNext(Kind kind, int count) {
    std::lock_guard lock(mutex_);
    rules_[static_cast<std::size_t>(kind)].holds = count;
}

void FaultInjectingDatabase::releaseHeld() {
    std::deque<std::shared_ptr<Held>> held;
    {
        std::lock_guard lock(mutex_);
        held.swap(held_);
    }
    for (const auto& entry : held) {
        if (!entry->claim()) continue;
        auto inner = entry->start();
        entry->outer->setCancelHandler([inner] { inner->cancel(); });
    }
}

std::vector<FaultInjectingDatabase::Kind> FaultInjectingDatabase::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

int FaultInjectingDatabase::requestCount(Kind kind) const {
    std::lock_guard lock(mutex_);
    return counts_[static_cast<std::size_t>(kind)];
}

int FaultInjectingDatabase::heldCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(held_.size());
}

std::shared_ptr<Operation> FaultInjectingDatabase::run(Kind kind, std::function<std::shared_ptr<Operation>()> start,
                                                       std::function<void(const Error&)> fail) {
    std::optional<Error> failure;
    bool hold = false;
    {
        std::lock_guard lock(mutex_);
        ++counts_[static_cast<std::size_t>(kind)];
        log_.push_back(kind);
        auto& rule = rules_[static_cast<std::size_t>(kind)];
        if (rule.failures > 0) {
            --rule.failures;
            failure = rule.error;
        } else if (rule.holds > 0) {
            --rule.holds;
            hold = true;
        }
    }
    if (failure) return cloud::FailingDatabase::answerLater([fail, error = *failure] { fail(error); });
    if (!hold) return start();

    auto held = std::make_shared<Held>();
    held->outer = std::make_shared<Operation>();
    held->start = std::move(start);
    held->fail = std::move(fail);
    std::weak_ptr<Held> weak = held;
    held->outer->setCancelHandler([weak] {
        const auto entry = weak.lock();
        if (!entry || !entry->claim()) return;
        cloud::FailingDatabase::answerLater([entry] { entry->fail(Error::cancelled()); });
    });
    {
        std::lock_guard lock(mutex_);
        held_.push_back(held);
    }
    return held->outer;
}

std::shared_ptr<Operation> FaultInjectingDatabase::fetchRecords(std::vector<cloud::RecordID> ids,
                                                                std::optional<std::vector<std::string>> desiredKeys,
                                                                FetchCompletion completion) {
    auto shared = std::make_shared<FetchCompletion>(std::move(completion));
    return run(
        Kind::fetchRecords,
        [this, ids = std::move(ids), desiredKeys = std::move(desiredKeys), shared] {
            return inner_->fetchRecords(ids, desiredKeys, [shared](auto records, auto error) {
                (*shared)(std::move(records), std::move(error));
            });
        },
        [shared](const Error& error) { (*shared)({}, error); });
}

std::shared_ptr<Operation> FaultInjectingDatabase::modifyRecords(std::vector<cloud::Record> recordsToSave,
                                                                 std::vector<cloud::RecordID> recordIDsToDelete,
                                                                 ModifyCompletion completion) {
    auto shared = std::make_shared<ModifyCompletion>(std::move(completion));
    return run(
        Kind::modifyRecords,
        [this, save = std::move(recordsToSave), remove = std::move(recordIDsToDelete), shared] {
            return inner_->modifyRecords(save, remove, [shared](auto saved, auto deleted, auto error) {
                (*shared)(std::move(saved), std::move(deleted), std::move(error));
            });
        },
        [shared](const Error& error) { (*shared)({}, {}, error); });
}

std::shared_ptr<Operation> FaultInjectingDatabase::query(const cloud::Query& query, cloud::QueryOptions options,
                                                         RecordCallback onRecord, QueryCompletion completion) {
    auto shared = std::make_shared<QueryCompletion>(std::move(completion));
    return run(
        Kind::query,
        [this, query, options, onRecord, shared] {
            return inner_->query(query, options, onRecord,
                                 [shared](auto cursor, auto error) { (*shared)(std::move(cursor), std::move(error)); });
        },
        [shared](const Error& error) { (*shared)(std::nullopt, error); });
}

std::shared_ptr<Operation> FaultInjectingDatabase::query(const cloud::Cursor& cursor, cloud::QueryOptions options,
                                                         RecordCallback onRecord, QueryCompletion completion) {
    auto shared = std::make_shared<QueryCompletion>(std::move(completion));
    return run(
        Kind::query,
        [this, cursor, options, onRecord, shared] {
            return inner_->query(cursor, options, onRecord,
                                 [shared](auto next, auto error) { (*shared)(std::move(next), std::move(error)); });
        },
        [shared](const Error& error) { (*shared)(std::nullopt, error); });
}

std::shared_ptr<Operation> FaultInjectingDatabase::fetchAllSubscriptions(SubscriptionsCompletion completion) {
    auto shared = std::make_shared<SubscriptionsCompletion>(std::move(completion));
    return run(
        Kind::fetchSubscriptions,
        [this, shared] {
            return inner_->fetchAllSubscriptions(
                [shared](auto subscriptions, auto error) { (*shared)(std::move(subscriptions), std::move(error)); });
        },
        [shared](const Error& error) { (*shared)({}, error); });
}

std::shared_ptr<Operation> FaultInjectingDatabase::modifySubscriptions(
    std::vector<cloud::QuerySubscription> subscriptionsToSave, std::vector<std::string> subscriptionIDsToDelete,
    ModifySubscriptionsCompletion completion) {
    auto shared = std::make_shared<ModifySubscriptionsCompletion>(std::move(completion));
    return run(
        Kind::modifySubscriptions,
        [this, save = std::move(subscriptionsToSave), remove = std::move(subscriptionIDsToDelete), shared] {
            return inner_->modifySubscriptions(save, remove, [shared](auto saved, auto deleted, auto error) {
                (*shared)(std::move(saved), std::move(deleted), std::move(error));
            });
        },
        [shared](const Error& error) { (*shared)({}, {}, error); });
}

}  // namespace tallowmere::test
