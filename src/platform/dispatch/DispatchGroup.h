#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/dispatch/Queue.h"

namespace tallowmere::dispatch {

// Joins fan-out work: enter before each piece, leave when it ends; notify
// blocks run once the count is back at zero.
class DispatchGroup {
public:
    void enter();
    // A leave without its enter is a programming fault and stops the program.
    void leave();
    // Runs `block` on `queue` once every entered piece has left (at once when
    // none is pending).
    void notify(Queue& queue, Block block);
    // Waits until the group is empty; false when the time-out passed first.
    bool wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
    // enter, run `block` on `queue`, leave.
    void async(Queue& queue, Block block);

private:
    struct Notification {
        Queue* queue;
        Block block;
    };
    std::mutex mutex_;
    std::condition_variable emptied_;
    long count_ = 0;
    std::vector<Notification> notifications_;
};

}  // namespace tallowmere::dispatch
