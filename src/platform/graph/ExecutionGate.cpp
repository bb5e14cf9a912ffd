#include "platform/graph/ExecutionGate.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <unordered_set>

namespace tallowmere::graph {

namespace {
// One lock for all gates: a wait needs a consistent view of several gates
// (the one wanted and those held) and of which threads are waiting.
std::mutex gatesMutex;
std::condition_variable gatesChanged;
std::unordered_set<std::thread::id> waitingThreads;
thread_local std::vector<ExecutionGate*> heldGates;
}  // namespace

struct ExecutionGate::Request {
    bool offered = false;  // the queue reached the request and waits for it
    bool started = false;
    bool done = false;
};

ExecutionGate::ExecutionGate(dispatch::Queue& queue) : queue_(queue) {}

void ExecutionGate::noteQueueThreadIfCurrent() {
    if (!queue_.isCurrent()) return;
    std::lock_guard lock(gatesMutex);
    queueThread_ = std::this_thread::get_id();
}

bool ExecutionGate::isCurrentThreadInside() const {
    return std::find(heldGates.begin(), heldGates.end(), this) != heldGates.end();
}

bool ExecutionGate::heldGatesOnTop(std::thread::id thread) {
    for (ExecutionGate* gate : heldGates)
        if (gate->holders_.empty() || gate->holders_.back() != thread) return false;
    return true;
}

bool ExecutionGate::canEnter(std::thread::id thread, bool mayBorrow) const {
    if (holders_.empty()) return true;
    // The thread inside is itself waiting for a context: it lends this one.
    return mayBorrow && holders_.back() != thread && waitingThreads.count(holders_.back());
}

void ExecutionGate::runInside(const std::function<void()>& block) {
    heldGates.push_back(this);
    try {
        block();
    } catch (...) {
        heldGates.pop_back();
        throw;
    }
    heldGates.pop_back();
}

void ExecutionGate::async(std::function<void()> block) {
    auto self = shared_from_this();
    queue_.async([self, block = std::move(block)] {
        const auto me = std::this_thread::get_id();
        {
            std::unique_lock lock(gatesMutex);
            self->queueThread_ = me;
            gatesChanged.wait(lock, [&] { return self->canEnter(me, false) && heldGatesOnTop(me); });
            self->holders_.push_back(me);
        }
        struct Leave {
            ExecutionGate* gate;
            ~Leave() {
                std::lock_guard lock(gatesMutex);
                gate->holders_.pop_back();
                gatesChanged.notify_all();
            }
        } leave{self.get()};
        self->runInside(block);
    });
}

void ExecutionGate::sync(const std::function<void()>& block) {
    if (isCurrentThreadInside()) {
        block();  // re-entrant
        return;
    }
    const auto me = std::this_thread::get_id();
    const bool onQueue = queue_.isCurrent();
    auto request = std::make_shared<Request>();
    if (!onQueue) {
        // The queue's turn: park its thread until the caller has run the block.
        queue_.async([self = shared_from_this(), request] {
            const auto queueThread = std::this_thread::get_id();
            std::unique_lock lock(gatesMutex);
            self->queueThread_ = queueThread;
            if (request->started || request->done) return;
            request->offered = true;
            gatesChanged.notify_all();
            waitingThreads.insert(queueThread);
            gatesChanged.wait(lock, [&] { return request->done; });
            waitingThreads.erase(queueThread);
        });
    }
    {
        std::unique_lock lock(gatesMutex);
        if (onQueue) queueThread_ = me;
        waitingThreads.insert(me);
        gatesChanged.notify_all();  // others may now borrow what this thread holds
        gatesChanged.wait(lock, [&] {
            if (!heldGatesOnTop(me) || !canEnter(me, true)) return false;
            if (onQueue || request->offered) return true;
            // The queue cannot reach the request while its thread waits itself.
            return queueThread_ != std::thread::id() && waitingThreads.count(queueThread_) > 0;
        });
        waitingThreads.erase(me);
        request->started = true;
        holders_.push_back(me);
    }
    struct Leave {
        ExecutionGate* gate;
        Request* request;
        ~Leave() {
            std::lock_guard lock(gatesMutex);
            gate->holders_.pop_back();
            request->done = true;
            gatesChanged.notify_all();
        }
    } leave{this, request.get()};
    runInside(block);
}

}  // namespace tallowmere::graph
