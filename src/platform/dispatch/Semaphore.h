#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace tallowmere::dispatch {

// A counting semaphore: wait takes one unit (blocking while there is none),
// signal gives one back and wakes one waiter.
class Semaphore {
public:
    explicit Semaphore(long value) : value_(value) {}
    // False when the time-out passed before a unit was free.
    bool wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
    void signal();

private:
    std::mutex mutex_;
    std::condition_variable available_;
    long value_;
};

}  // namespace tallowmere::dispatch
