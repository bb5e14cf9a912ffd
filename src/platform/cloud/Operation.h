#pragma once

#include <functional>
#include <mutex>

namespace tallowmere::cloud {

// A running cloud operation. cancel() ends it with "operation cancelled"
// (code 20) unless it has finished already; its completion still runs
// exactly once. Safe from any thread.
class Operation {
public:
    void cancel();
    bool isCancelled() const;
    bool isFinished() const;

    // For backings and decorators: what cancel() must do beyond raising the
    // flag (wake a waiting step, cancel an inner operation). Runs at once
    // when the operation is already cancelled.
    void setCancelHandler(std::function<void()> handler);
    void markFinished();

private:
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    bool finished_ = false;
    std::function<void()> cancelHandler_;
};

}  // namespace tallowmere::cloud
