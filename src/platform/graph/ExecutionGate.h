#pragma once

#include <functional>
#include <memory>
#include <mutex>
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
// Deadlock rule: when a wait would close a cycle (the context wanted is held,
// or its queue is stuck, by a thread that itself waits, directly or through
// others, for the caller), the caller goes ahead: it borrows the context from
// the waiting thread, or overtakes the blocks queued before it. So the main
// context may wait for a private context while that one waits for the main
// context, in either order and from inside or outside their blocks. Without
// such a cycle, order is kept. What still deadlocks: a thread blocked on
// something other than a context (a semaphore, a group wait, a sync onto a
// plain queue) while what it waits for needs a context that thread is in, or
// needs its queue.
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

    struct Request;
    struct ThreadState;

private:
    enum class Escape { none, free, overtake, borrow };
    static Escape escape(const ThreadState& state);
    bool mayEnter(const ThreadState& state) const;
    void enter(ThreadState& me, std::unique_lock<std::mutex>& lock);
    void leave(ThreadState& me);
    static std::thread::id blocker(const ThreadState& state);
    static bool waitsFor(std::thread::id waiter, std::thread::id thread);

    dispatch::Queue& queue_;
    // Guarded by the gates' shared mutex.
    std::vector<std::thread::id> holders_;  // top = the thread running now
    std::thread::id queueThread_;
};

}  // namespace tallowmere::graph
