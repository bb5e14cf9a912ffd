#include "platform/dispatch/ConcurrentPerform.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/dispatch/GlobalQueue.h"

namespace tallowmere::dispatch {

namespace {

// Shared with the helpers, which may start after the caller has returned:
// they then find no index left and never touch the work.
struct Loop {
    std::size_t count = 0;
    const std::function<void(std::size_t)>* work = nullptr;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;  // guarded by mutex

    void runIndices() {
        for (;;) {
            const std::size_t index = next.fetch_add(1);
            if (index >= count) return;
            (*work)(index);
            std::lock_guard lock(mutex);
            if (++done == count) finished.notify_all();
        }
    }
};

}  // namespace

void concurrentPerform(std::size_t count, QualityOfService qos, const std::function<void(std::size_t)>& work) {
    if (count == 0) return;
    auto loop = std::make_shared<Loop>();
    loop->count = count;
    loop->work = &work;
    const std::size_t helpers = std::min<std::size_t>(count - 1, std::max(1u, std::thread::hardware_concurrency()) - 1);
    for (std::size_t i = 0; i < helpers; ++i) GlobalQueue::shared(qos).async([loop] { loop->runIndices(); });
    loop->runIndices();
    std::unique_lock lock(loop->mutex);
    loop->finished.wait(lock, [&] { return loop->done == count; });
}

}  // namespace tallowmere::dispatch
