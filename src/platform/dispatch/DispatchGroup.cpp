#include "platform/dispatch/DispatchGroup.h"

namespace tallowmere::dispatch {

void DispatchGroup::enter() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void DispatchGroup::leave() {
    std::vector<Notification> due;
    {
        std::lock_guard lock(mutex_);
        if (count_ <= 0) fatalMisuse("DispatchGroup::leave without a matching enter");
        if (--count_ > 0) return;
        due.swap(notifications_);
        // Under the lock: a waiter may destroy the group as soon as it wakes.
        emptied_.notify_all();
    }
    for (auto& notification : due) notification.queue->async(std::move(notification.block));
}

void DispatchGroup::notify(Queue& queue, Block block) {
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0) {
            notifications_.push_back({&queue, std::move(block)});
            return;
        }
    }
    queue.async(std::move(block));
}

bool DispatchGroup::wait(std::optional<std::chrono::milliseconds> timeout) {
    std::unique_lock lock(mutex_);
    if (!timeout) {
        emptied_.wait(lock, [&] { return count_ == 0; });
        return true;
    }
    return emptied_.wait_for(lock, *timeout, [&] { return count_ == 0; });
}

void DispatchGroup::async(Queue& queue, Block block) {
    enter();
    queue.async([this, block = std::move(block)] {
        block();
        leave();
    });
}

}  // namespace tallowmere::dispatch
