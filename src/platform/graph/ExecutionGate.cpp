#include "platform/graph/ExecutionGate.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace tallowmere::graph {

struct ExecutionGate::Request {
    bool offered = false;  // the queue reached the request and waits for it
    bool started = false;
    bool done = false;
};

// What one thread is inside of and waits for; read by other threads (under
// the gates' lock) to tell whether a wait would close a cycle.
struct ExecutionGate::ThreadState {
    std::thread::id id;
    std::vector<ExecutionGate*> held;
    const ExecutionGate* wanting = nullptr;
    const Request* request = nullptr;  // of a synchronous wait
    bool onQueue = false;
    std::uint64_t waitingSince = 0;
    const Request* parkedFor = nullptr;  // a queue thread parked for a caller
    std::thread::id caller;
};

namespace {
// One lock for all gates: deciding whether a wait would deadlock needs a
// consistent view of every gate and every waiting thread. Never destroyed:
// queue threads (and their thread-local entries) may still use them while
// the process exits and runs the static destructors.
struct Gates {
    std::mutex mutex;
    std::condition_variable changed;
    std::unordered_map<std::thread::id, ExecutionGate::ThreadState*> threads;
};
Gates& gates() {
    static Gates* const shared = new Gates;
    return *shared;
}

struct ThreadEntry {
    ExecutionGate::ThreadState state;
    ThreadEntry() {
        state.id = std::this_thread::get_id();
        std::lock_guard lock(gates().mutex);
        gates().threads[state.id] = &state;
    }
    ~ThreadEntry() {
        std::lock_guard lock(gates().mutex);
        gates().threads.erase(state.id);
    }
};

ExecutionGate::ThreadState& self() {
    thread_local ThreadEntry entry;
    return entry.state;
}
}  // namespace

ExecutionGate::ExecutionGate(dispatch::Queue& queue) : queue_(queue) {}

void ExecutionGate::noteQueueThreadIfCurrent() {
    if (!queue_.isCurrent()) return;
    self();
    std::lock_guard lock(gates().mutex);
    queueThread_ = std::this_thread::get_id();
}

bool ExecutionGate::isCurrentThreadInside() const {
    // Only the owning thread changes its own list, so reading it unlocked is safe.
    const auto& held = self().held;
    return std::find(held.begin(), held.end(), this) != held.end();
}

// The thread that keeps `state` from going on, or nothing when it is not held up.
std::thread::id ExecutionGate::blocker(const ThreadState& state) {
    if (state.parkedFor) return state.parkedFor->done ? std::thread::id() : state.caller;
    const ExecutionGate* gate = state.wanting;
    if (!gate) return {};
    for (const ExecutionGate* held : state.held)
        if (!held->holders_.empty() && held->holders_.back() != state.id) return held->holders_.back();
    if (!gate->holders_.empty()) return gate->holders_.back() == state.id ? std::thread::id() : gate->holders_.back();
    if (state.request && !state.onQueue && !state.request->offered) return gate->queueThread_;
    return {};
}

bool ExecutionGate::waitsFor(std::thread::id waiter, std::thread::id thread) {
    for (int depth = 0; depth < 64 && waiter != std::thread::id(); ++depth) {
        auto found = gates().threads.find(waiter);
        if (found == gates().threads.end()) return false;
        waiter = blocker(*found->second);
        if (waiter == thread) return true;
    }
    return false;
}

// How a waiting thread could go on although the gate is not its turn: by
// overtaking the blocks queued before it (the queue is stuck on a thread that
// waits for this one) or by borrowing the gate from its holder (who waits for
// this one). Nothing when its wait closes no cycle.
ExecutionGate::Escape ExecutionGate::escape(const ThreadState& state) {
    const ExecutionGate* gate = state.wanting;
    if (!gate) return Escape::none;
    for (const ExecutionGate* held : state.held)
        if (held->holders_.empty() || held->holders_.back() != state.id) return Escape::none;
    if (gate->holders_.empty()) {
        if (!state.request || state.onQueue || state.request->offered) return Escape::free;
        return waitsFor(gate->queueThread_, state.id) ? Escape::overtake : Escape::none;
    }
    if (!state.request) return Escape::none;  // queued blocks never borrow
    const auto top = gate->holders_.back();
    return top != state.id && waitsFor(top, state.id) ? Escape::borrow : Escape::none;
}

bool ExecutionGate::mayEnter(const ThreadState& state) const {
    Escape mine = escape(state);
    if (mine == Escape::free) return true;
    if (mine == Escape::none) return false;
    // In a cycle every member could go on; exactly one should. An overtake
    // beats a borrow (the blocks queued first go first), then the earlier wait.
    auto other = gates().threads.find(blocker(state));
    if (other == gates().threads.end()) return true;
    Escape theirs = escape(*other->second);
    if (theirs == Escape::none) return true;
    if (theirs == Escape::free) return false;
    if (mine != theirs) return mine == Escape::overtake;
    return state.waitingSince < other->second->waitingSince;
}

void ExecutionGate::enter(ThreadState& me, std::unique_lock<std::mutex>& lock) {
    static std::uint64_t waits = 0;
    me.wanting = this;
    me.waitingSince = ++waits;
    if (!mayEnter(me)) {
        gates().changed.notify_all();  // a waiter that waits for this thread may now go on
        gates().changed.wait(lock, [&] { return mayEnter(me); });
    }
    me.wanting = nullptr;
    holders_.push_back(me.id);
    me.held.push_back(this);
}

void ExecutionGate::leave(ThreadState& me) {
    std::lock_guard lock(gates().mutex);
    holders_.pop_back();
    me.held.pop_back();
    if (me.request) {
        const_cast<Request*>(me.request)->done = true;
    }
    gates().changed.notify_all();
}

void ExecutionGate::async(std::function<void()> block) {
    auto gate = shared_from_this();
    queue_.async([gate, block = std::move(block)] {
        ThreadState& me = self();
        // A queued block is no synchronous wait, even when the main queue is
        // drained from inside one.
        const Request* outer = me.request;
        const bool outerOnQueue = me.onQueue;
        {
            std::unique_lock lock(gates().mutex);
            gate->queueThread_ = me.id;
            me.request = nullptr;
            me.onQueue = false;
            gate->enter(me, lock);
        }
        struct Leave {
            ExecutionGate* gate;
            ThreadState& me;
            const Request* outer;
            bool outerOnQueue;
            ~Leave() {
                gate->leave(me);
                std::lock_guard lock(gates().mutex);
                me.request = outer;
                me.onQueue = outerOnQueue;
            }
        } leave{gate.get(), me, outer, outerOnQueue};
        block();
    });
}

void ExecutionGate::sync(const std::function<void()>& block) {
    if (isCurrentThreadInside()) {
        block();  // re-entrant
        return;
    }
    ThreadState& me = self();
    const bool onQueue = queue_.isCurrent();
    auto request = std::make_shared<Request>();
    if (!onQueue) {
        // The queue's turn: park its thread until the caller has run the block.
        queue_.async([gate = shared_from_this(), request, caller = me.id] {
            ThreadState& queueThread = self();
            std::unique_lock lock(gates().mutex);
            gate->queueThread_ = queueThread.id;
            if (request->started || request->done) return;
            request->offered = true;
            queueThread.parkedFor = request.get();
            queueThread.caller = caller;
            gates().changed.notify_all();
            gates().changed.wait(lock, [&] { return request->done; });
            queueThread.parkedFor = nullptr;
        });
    }
    const Request* outer = me.request;
    const bool outerOnQueue = me.onQueue;
    {
        std::unique_lock lock(gates().mutex);
        if (onQueue) queueThread_ = me.id;
        me.request = request.get();
        me.onQueue = onQueue;
        enter(me, lock);
        request->started = true;
    }
    struct Leave {
        ExecutionGate* gate;
        ThreadState& me;
        const Request* outer;
        bool outerOnQueue;
        ~Leave() {
            gate->leave(me);
            std::lock_guard lock(gates().mutex);
            me.request = outer;
            me.onQueue = outerOnQueue;
        }
    } leave{this, me, outer, outerOnQueue};
    block();
}

}  // namespace tallowmere::graph
