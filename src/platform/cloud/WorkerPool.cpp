#include "platform/cloud/WorkerPool.h"

#include <algorithm>

namespace tallowmere::cloud {

WorkerPool& WorkerPool::shared() {
    // Never destroyed: completions may still be queued while static objects
    // of the process are torn down.
    static auto* pool = new WorkerPool(6);
    return *pool;
}

WorkerPool::WorkerPool(std::size_t threads) {
    threads_.reserve(std::max<std::size_t>(threads, 2));
    for (std::size_t i = 0; i < std::max<std::size_t>(threads, 2); ++i) threads_.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    available_.notify_all();
    for (auto& thread : threads_) thread.join();
}

void WorkerPool::submit(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back({std::this_thread::get_id(), std::move(task)});
    }
    // Every waiter looks: the first one may be the submitter, which must not take it.
    available_.notify_all();
}

bool WorkerPool::isWorkerThread() const {
    const auto self = std::this_thread::get_id();
    return std::any_of(threads_.begin(), threads_.end(), [&](const std::thread& t) { return t.get_id() == self; });
}

void WorkerPool::work() {
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(mutex_);
    while (true) {
        auto eligible = tasks_.end();
        available_.wait(lock, [&] {
            eligible = std::find_if(tasks_.begin(), tasks_.end(), [&](const Task& t) { return t.submitter != self; });
            return stopping_ || eligible != tasks_.end();
        });
        if (eligible == tasks_.end()) return;  // stopping with nothing left for this thread
        auto run = std::move(eligible->run);
        tasks_.erase(eligible);
        lock.unlock();
        run();
        lock.lock();
    }
}

}  // namespace tallowmere::cloud
