#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tallowmere::test {

// Holds server handlers (slow answers) until the test opens it; a handler
// never waits past its limit, so a failing test still ends.
class Gate {
public:
    // True when the gate is open, false when the limit passed first.
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return condition_.wait_for(lock, limit, [&] { return open_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        condition_.notify_all();
    }
    void close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool open_ = false;
};

}  // namespace tallowmere::test
