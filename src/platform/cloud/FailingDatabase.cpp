#include "platform/cloud/FailingDatabase.h"

#include "platform/cloud/WorkerPool.h"

namespace tallowmere::cloud {

std::shared_ptr<Operation> FailingDatabase::answerLater(std::function<void()> answer) {
    auto operation = std::make_shared<Operation>();
    WorkerPool::shared().submit([operation, answer = std::move(answer)] {
        operation->markFinished();
        answer();
    });
    return operation;
}

std::shared_ptr<Operation> FailingDatabase::fetchRecords(std::vector<RecordID>, std::optional<std::vector<std::string>>,
                                                         FetchCompletion completion) {
    return answerLater([completion = std::move(completion), error = error_] { completion({}, error); });
}

std::shared_ptr<Operation> FailingDatabase::modifyRecords(std::vector<Record>, std::vector<RecordID>,
                                                          ModifyCompletion completion) {
    return answerLater([completion = std::move(completion), error = error_] { completion({}, {}, error); });
}

std::shared_ptr<Operation> FailingDatabase::query(const Query&, QueryOptions, RecordCallback,
                                                  QueryCompletion completion) {
    return answerLater([completion = std::move(completion), error = error_] { completion(std::nullopt, error); });
}

std::shared_ptr<Operation> FailingDatabase::query(const Cursor&, QueryOptions, RecordCallback,
                                                  QueryCompletion completion) {
    return answerLater([completion = std::move(completion), error = error_] { completion(std::nullopt, error); });
}

std::shared_ptr<Operation> FailingDatabase::fetchAllSubscriptions(SubscriptionsCompletion completion) {
    return answerLater([completion = std::move(completion), error = error_] { completion({}, error); });
}

std::shared_ptr<Operation> FailingDatabase::modifySubscriptions(std::vector<QuerySubscription>, std::vector<std::string>,
                                                                ModifySubscriptionsCompletion completion) {
    return answerLater([completion = std::move(completion), error = error_] { completion({}, {}, error); });
}

}  // namespace tallowmere::cloud
