#include "support/FaultInjectingContainer.h"

#include "platform/cloud/FailingDatabase.h"

namespace tallowmere::test {

FaultInjectingContainer::FaultInjectingContainer(std::shared_ptr<cloud::Container> inner)
    : inner_(std::move(inner)),
      public_(std::make_shared<FaultInjectingDatabase>(inner_->publicDatabase())),
      private_(std::make_shared<FaultInjectingDatabase>(inner_->privateDatabase())) {}

void FaultInjectingContainer::failNextUserRecord(int count, cloud::Error error) {
    std::lock_guard lock(mutex_);
    userRecordFailures_ = count;
    userRecordError_ = std::move(error);
}

void FaultInjectingContainer::holdNextUserRecord() {
    std::lock_guard lock(mutex_);
    holdUserRecord_ = true;
}

void FaultInjectingContainer::releaseUserRecord() {
    std::deque<UserRecordCompletion> held;
    {
        std::lock_guard lock(mutex_);
        held.swap(held_);
    }
    for (auto& completion : held) inner_->fetchCurrentUserRecord(std::move(completion));
}

int FaultInjectingContainer::userRecordRequests() const {
    std::lock_guard lock(mutex_);
    return userRecordRequests_;
}

std::shared_ptr<cloud::Operation> FaultInjectingContainer::fetchCurrentUserRecord(UserRecordCompletion completion) {
    std::unique_lock lock(mutex_);
    ++userRecordRequests_;
    if (userRecordFailures_ > 0) {
        --userRecordFailures_;
        auto error = userRecordError_;
        lock.unlock();
        return cloud::FailingDatabase::answerLater(
            [completion = std::move(completion), error] { completion(std::nullopt, error); });
    }
    if (holdUserRecord_) {
        holdUserRecord_ = false;
        held_.push_back(std::move(completion));
        return std::make_shared<cloud::Operation>();
    }
    lock.unlock();
    return inner_->fetchCurrentUserRecord(std::move(completion));
}

}  // namespace tallowmere::test
