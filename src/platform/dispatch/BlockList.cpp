#include "platform/dispatch/BlockList.h"

#include <algorithm>

namespace tallowmere::dispatch {

void BlockList::push(Block block) {
    std::function<void()> onPush;
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(block));
        onPush = onPush_;
        // Under the lock: the block may run and its owner destroy the queue
        // before a notify outside the lock would happen.
        condition_.notify_one();
    }
    if (onPush) onPush();
}

void BlockList::pushAfter(std::chrono::milliseconds delay, Block block) {
    std::function<void()> onPush;
    {
        std::lock_guard lock(mutex_);
        delayed_.emplace(Clock::now() + delay, std::move(block));
        onPush = onPush_;
        // Under the lock: the block may run and its owner destroy the queue
        // before a notify outside the lock would happen.
        condition_.notify_one();
    }
    if (onPush) onPush();
}

void BlockList::pushAndWait(const Block& block) {
    std::mutex doneMutex;
    std::condition_variable doneCondition;
    bool done = false;
    push([&] {
        block();
        std::lock_guard lock(doneMutex);
        done = true;
        doneCondition.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneCondition.wait(lock, [&] { return done; });
}

std::optional<Block> BlockList::popDueLocked(Clock::time_point now) {
    // Delayed blocks that came due join the ready ones in due order.
    while (!delayed_.empty() && delayed_.begin()->first <= now) {
        ready_.push_back(std::move(delayed_.begin()->second));
        delayed_.erase(delayed_.begin());
    }
    if (ready_.empty()) return std::nullopt;
    Block block = std::move(ready_.front());
    ready_.pop_front();
    return block;
}

std::optional<Block> BlockList::take(std::optional<Clock::duration> maxWait) {
    std::unique_lock lock(mutex_);
    const auto deadline = maxWait ? std::optional(Clock::now() + *maxWait) : std::nullopt;
    for (;;) {
        if (auto block = popDueLocked(Clock::now())) return block;
        if (closed_) return std::nullopt;
        auto wakeAt = deadline;
        if (!delayed_.empty() && (!wakeAt || delayed_.begin()->first < *wakeAt)) wakeAt = delayed_.begin()->first;
        if (wakeAt) {
            if (condition_.wait_until(lock, *wakeAt) == std::cv_status::timeout && deadline &&
                Clock::now() >= *deadline) {
                return popDueLocked(Clock::now());
            }
        } else {
            condition_.wait(lock);
        }
    }
}

void BlockList::close() {
    std::multimap<Clock::time_point, Block> dropped;  // destroyed outside the lock
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(delayed_);
    }
    condition_.notify_all();
}

bool BlockList::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

std::optional<BlockList::Clock::duration> BlockList::timeUntilNextDelayed() const {
    std::lock_guard lock(mutex_);
    if (delayed_.empty()) return std::nullopt;
    return std::max(delayed_.begin()->first - Clock::now(), Clock::duration::zero());
}

void BlockList::setOnPush(std::function<void()> onPush) {
    std::lock_guard lock(mutex_);
    onPush_ = std::move(onPush);
}

}  // namespace tallowmere::dispatch
