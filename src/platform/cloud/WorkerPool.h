#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tallowmere::cloud {

// The threads on which cloud completions run. A task never runs on the
// thread that submitted it, so a completion never runs on its caller's
// thread, even when the caller is itself a completion that starts the next
// operation. Callers may block their own threads until a completion comes.
class WorkerPool {
public:
    // The process's pool; it lives until the process ends.
    static WorkerPool& shared();

    explicit WorkerPool(std::size_t threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void submit(std::function<void()> task);
    bool isWorkerThread() const;

private:
    struct Task {
        std::thread::id submitter;
        std::function<void()> run;
    };
    void work();

    std::mutex mutex_;
    std::condition_variable available_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tallowmere::cloud
