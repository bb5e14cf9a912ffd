#include "platform/dispatch/GlobalQueue.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/BlockList.h"

namespace tallowmere::dispatch {

namespace {

// The workers behind every global queue; they live for the whole process.
class Pool {
public:
    static Pool& shared() {
        static Pool* pool = new Pool();
        return *pool;
    }
    BlockList& blocks() { return blocks_; }

private:
    Pool() {
        const unsigned count = std::clamp(std::thread::hardware_concurrency(), 4u, 16u);
        for (unsigned i = 0; i < count; ++i) {
            std::thread([this] {
                while (auto block = blocks_.take(std::nullopt)) (*block)();
            }).detach();
        }
    }
    BlockList blocks_;
};

const char* qosName(QualityOfService qos) {
    switch (qos) {
        case QualityOfService::background: return "global_background";
        case QualityOfService::utility: return "global_utility";
        case QualityOfService::standard: return "global_default";
        case QualityOfService::userInitiated: return "global_user_initiated";
        case QualityOfService::userInteractive: return "global_user_interactive";
    }
    return "global";
}

}  // namespace

GlobalQueue& GlobalQueue::shared(QualityOfService qos) {
    static std::array<GlobalQueue*, 5> queues = [] {
        std::array<GlobalQueue*, 5> made{};
        for (int i = 0; i < 5; ++i) made[i] = new GlobalQueue(qosName(static_cast<QualityOfService>(i)));
        return made;
    }();
    return *queues[static_cast<int>(qos)];
}

Block GlobalQueue::wrapped(Block block) {
    return [this, block = std::move(block)] {
        detail::CurrentQueueScope scope(this, &label_);
        block();
    };
}

void GlobalQueue::async(Block block) { Pool::shared().blocks().push(wrapped(std::move(block))); }

void GlobalQueue::asyncAfter(std::chrono::milliseconds delay, Block block) {
    Pool::shared().blocks().pushAfter(delay, wrapped(std::move(block)));
}

bool GlobalQueue::isCurrent() const { return currentQueue() == this; }

void GlobalQueue::sync(const Block& block) {
    // A concurrent queue can run the block on the caller's thread.
    detail::CurrentQueueScope scope(this, &label_);
    block();
}

}  // namespace tallowmere::dispatch
