#pragma once

#include <memory>
#include <string>
#include <thread>

#include "platform/dispatch/BlockList.h"
#include "platform/dispatch/Queue.h"

namespace tallowmere::dispatch {

// A labelled serial queue with a worker thread of its own. Its own thread,
// rather than a shared pool, because several owners block their queue on a
// semaphore by design. Blocks run one at a time in submission order.
class SerialQueue final : public Queue {
public:
    SerialQueue(std::string label, QualityOfService qos = QualityOfService::standard);
    // Runs what was queued before, then stops the worker. Delayed blocks not yet
    // due are dropped. A block of the queue may destroy its own queue: the
    // worker then finishes the blocks already queued on its own.
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(Block block) override;
    void sync(const Block& block) override;
    void asyncAfter(std::chrono::milliseconds delay, Block block) override;
    const std::string& label() const override { return shared_->label; }
    bool isCurrent() const override;
    QualityOfService qos() const { return qos_; }

private:
    // What the worker needs: it outlives the queue object when a block
    // destroys its own queue.
    struct Shared {
        explicit Shared(std::string label) : label(std::move(label)) {}
        const std::string label;
        BlockList blocks;
    };
    static void run(std::shared_ptr<Shared> shared, SerialQueue* queue);

    const QualityOfService qos_;
    std::shared_ptr<Shared> shared_;
    std::thread::id workerId_;
    std::thread worker_;
};

}  // namespace tallowmere::dispatch
