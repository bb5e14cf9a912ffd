#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

#include "platform/dispatch/Queue.h"

namespace tallowmere::dispatch {

// The pending blocks of one serial queue: ready blocks in submission order and
// delayed blocks by due time. Thread-safe.
class BlockList {
public:
    using Clock = std::chrono::steady_clock;

    void push(Block block);
    void pushAfter(std::chrono::milliseconds delay, Block block);
    // Pushes the block and returns once a taker has run it.
    void pushAndWait(const Block& block);
    // Takes the next block that is due, waiting up to `maxWait` for one (or
    // until close()). Returns nothing on time-out or when closed and empty.
    std::optional<Block> take(std::optional<Clock::duration> maxWait);
    // Wakes every taker; blocks already queued are still handed out, delayed
    // ones are dropped.
    void close();
    bool closed() const;
    // How long until the earliest delayed block is due (zero when overdue);
    // nothing when none is waiting.
    std::optional<Clock::duration> timeUntilNextDelayed() const;
    // Called (outside the lock) after each push, e.g. to wake an event loop.
    void setOnPush(std::function<void()> onPush);

private:
    std::optional<Block> popDueLocked(Clock::time_point now);

    mutable std::mutex mutex_;
    std::condition_variable condition_;
    std::deque<Block> ready_;
    std::multimap<Clock::time_point, Block> delayed_;
    std::function<void()> onPush_;
    bool closed_ = false;
};

}  // namespace tallowmere::dispatch
