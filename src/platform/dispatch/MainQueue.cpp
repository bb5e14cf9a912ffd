#include "platform/dispatch/MainQueue.h"


namespace tallowmere::dispatch {

MainQueue& MainQueue::shared() {
    static MainQueue* queue = new MainQueue();  // lives for the whole process
    return *queue;
}

void MainQueue::adoptCurrentThread() {
    mainThread_ = std::this_thread::get_id();
    detail::bindThread(this, &label_);
}

void MainQueue::setWaker(std::function<void()> waker) { blocks_.setOnPush(std::move(waker)); }

void MainQueue::async(Block block) { blocks_.push(std::move(block)); }

void MainQueue::asyncAfter(std::chrono::milliseconds delay, Block block) {
    blocks_.pushAfter(delay, std::move(block));
}

bool MainQueue::isCurrent() const { return mainThread_.load() == std::this_thread::get_id(); }

void MainQueue::requireMainThread(const char* operation) const {
    if (!isCurrent()) fatalMisuse(std::string("MainQueue::") + operation + " called off the main thread");
}

void MainQueue::sync(const Block& block) {
    if (isCurrent()) fatalMisuse("sync onto the main queue from the main thread would deadlock");
    blocks_.pushAndWait(block);
}

void MainQueue::drain() {
    requireMainThread("drain");
    detail::CurrentQueueScope scope(this, &label_);
    while (auto block = blocks_.take(std::chrono::milliseconds(0))) (*block)();
}

bool MainQueue::drain(BlockList::Clock::duration budget) {
    requireMainThread("drain");
    detail::CurrentQueueScope scope(this, &label_);
    const auto deadline = BlockList::Clock::now() + budget;
    while (auto block = blocks_.take(std::chrono::milliseconds(0))) {
        (*block)();
        if (BlockList::Clock::now() >= deadline) return true;
    }
    return false;
}

bool MainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    requireMainThread("runUntil");
    detail::CurrentQueueScope scope(this, &label_);
    const auto deadline = BlockList::Clock::now() + timeout;
    while (!done()) {
        const auto left = deadline - BlockList::Clock::now();
        if (left <= BlockList::Clock::duration::zero()) return done();
        // Wake now and then so a condition set by another thread is seen.
        const auto slice = std::min<BlockList::Clock::duration>(left, std::chrono::milliseconds(5));
        if (auto block = blocks_.take(slice)) (*block)();
    }
    return true;
}

}  // namespace tallowmere::dispatch
