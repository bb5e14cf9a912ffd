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
    // due are dropped.
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(Block block) override;
    void sync(const Block& block) override;
    void asyncAfter(std::chrono::milliseconds delay, Block block) override;
    const std::string& label() const override { return label_; }
    bool isCurrent() const override;
    QualityOfService qos() const { return qos_; }

private:
    void run();

    const std::string label_;
    const QualityOfService qos_;
    BlockList blocks_;
    std::thread::id workerId_;
    std::thread worker_;
};

}  // namespace tallowmere::dispatch
