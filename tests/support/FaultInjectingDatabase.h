#pragma once

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/cloud/Database.h"

namespace tallowmere::test {

// A database in front of another (of any backing) that lets a test make the
// next operations of a kind fail with a chosen error (code, retry-after), or
// hold them until released or cancelled, and that counts requests. Callbacks
// keep the layer's rules: on the layer's threads, exactly once.
class FaultInjectingDatabase final : public cloud::Database {
public:
    enum class Kind { fetchRecords, modifyRecords, query, fetchSubscriptions, modifySubscriptions };

    explicit FaultInjectingDatabase(std::shared_ptr<cloud::Database> inner) : inner_(std::move(inner)) {}

    void failNext(Kind kind, int count, cloud::Error error);
    void holdNext(Kind kind, int count);
    // Lets every held operation go on to the inner database.
    void releaseHeld();
    int requestCount(Kind kind) const;
    // Every request, in the order they came.
    std::vector<Kind> log() const;
    int heldCount() const;

    cloud::DatabaseScope scope() const override { return inner_->scope(); }
    std::shared_ptr<cloud::Operation> fetchRecords(std::vector<cloud::RecordID> ids,
                                                   std::optional<std::vector<std::string>> desiredKeys,
                                                   FetchCompletion completion) override;
    std::shared_ptr<cloud::Operation> modifyRecords(std::vector<cloud::Record> recordsToSave,
                                                    std::vector<cloud::RecordID> recordIDsToDelete,
                                                    ModifyCompletion completion) override;
    std::shared_ptr<cloud::Operation> query(const cloud::Query& query, cloud::QueryOptions options,
                                            RecordCallback onRecord, QueryCompletion completion) override;
    std::shared_ptr<cloud::Operation> query(const cloud::Cursor& cursor, cloud::QueryOptions options,
                                            RecordCallback onRecord, QueryCompletion completion) override;
    std::shared_ptr<cloud::Operation> fetchAllSubscriptions(SubscriptionsCompletion completion) override;
    std::shared_ptr<cloud::Operation> modifySubscriptions(std::vector<cloud::QuerySubscription> subscriptionsToSave,
                                                          std::vector<std::string> subscriptionIDsToDelete,
                                                          ModifySubscriptionsCompletion completion) override;

private:
    struct Rule {
        int failures = 0;
        cloud::Error error;
        int holds = 0;
    };
    struct Held;
    // Starts the operation on the inner database, fails it or holds it.
    std::shared_ptr<cloud::Operation> run(Kind kind,
                                          std::function<std::shared_ptr<cloud::Operation>()> start,
                                          std::function<void(const cloud::Error&)> fail);

    const std::shared_ptr<cloud::Database> inner_;
    mutable std::mutex mutex_;
    std::array<Rule, 5> rules_;
    std::array<int, 5> counts_{};
    std::vector<Kind> log_;
    std::deque<std::shared_ptr<Held>> held_;
};

}  // namespace tallowmere::test
