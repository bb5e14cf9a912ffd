#include "platform/cloud/Operation.h"

namespace tallowmere::cloud {

void Operation::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || finished_) return;
        cancelled_ = true;
        handler = std::move(cancelHandler_);
        cancelHandler_ = nullptr;
    }
    if (handler) handler();
}

bool Operation::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool Operation::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

void Operation::setCancelHandler(std::function<void()> handler) {
    {
        std::lock_guard lock(mutex_);
        if (!cancelled_) {
            cancelHandler_ = std::move(handler);
            return;
        }
    }
    if (handler) handler();
}

void Operation::markFinished() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    cancelHandler_ = nullptr;
}

}  // namespace tallowmere::cloud
