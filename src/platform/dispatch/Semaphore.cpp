#include "platform/dispatch/Semaphore.h"

namespace tallowmere::dispatch {

bool Semaphore::wait(std::optional<std::chrono::milliseconds> timeout) {
    std::unique_lock lock(mutex_);
    const auto free = [&] { return value_ > 0; };
    if (!timeout) {
        available_.wait(lock, free);
    } else if (!available_.wait_for(lock, *timeout, free)) {
        return false;
    }
    --value_;
    return true;
}

void Semaphore::signal() {
    // Notified under the lock: a waiter may destroy the semaphore once it wakes.
    std::lock_guard lock(mutex_);
    ++value_;
    available_.notify_one();
}

}  // namespace tallowmere::dispatch
