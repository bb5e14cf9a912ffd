#pragma once

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/dispatch/Queue.h"

namespace tallowmere::graph {

// Serialises the blocks of one context. Asynchronous blocks run on the
// context's queue in order. A synchronous block runs on the calling thread
// once the queue has reached it (like a sync onto a serial queue), or at
// once when the caller is that queue's own thread, or already inside the
// context (re-entrant).
//
// Deadlock rule: a thread that waits for a context lends the contexts it is
// inside of, and a queue that is stuck in such a wait lets waiting callers
// pass. So the main context may wait for a private context while that one
// waits for the main context, in either order. What still deadlocks: a
// queue's thread blocked on something other than a context (a semaphore, a
// group wait, a sync onto a plain queue) while a block it waits for needs
// that queue's context.
class ExecutionGate : public std::enable_shared_from_this<ExecutionGate> {
public:
    explicit ExecutionGate(dispatch::Queue& queue);

    void async(std::function<void()> block);
    void sync(const std::function<void()>& block);
    // True when the calling thread is inside a block of this gate.
    bool isCurrentThreadInside() const;
    dispatch::Queue& queue() const { return queue_; }
    // Records the calling thread as the queue's thread when it is (the main
    // context learns the main thread this way before its first block).
    void noteQueueThreadIfCurrent();

private:
    struct Request;
    bool canEnter(std::thread::id thread, bool mayBorrow) const;
    static bool heldGatesOnTop(std::thread::id thread);
    void runInside(const std::function<void()>& block);

    dispatch::Queue& queue_;
    // Guarded by the gates' shared mutex.
    std::vector<std::thread::id> holders_;  // top = the thread running now
    std::thread::id queueThread_;
};

}  // namespace tallowmere::graph
