#include "platform/dispatch/SerialQueue.h"

#include <pthread.h>

namespace tallowmere::dispatch {

SerialQueue::SerialQueue(std::string label, QualityOfService qos)
    : qos_(qos), shared_(std::make_shared<Shared>(std::move(label))) {
    worker_ = std::thread(&SerialQueue::run, shared_, this);
    workerId_ = worker_.get_id();
    // Thread names are limited to 15 bytes; the label helps in a debugger.
    pthread_setname_np(worker_.native_handle(), shared_->label.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue() {
    shared_->blocks.close();
    if (std::this_thread::get_id() == workerId_) {
        worker_.detach();  // a block of this queue destroyed it; the worker ends on its own
    } else if (worker_.joinable()) {
        worker_.join();
    }
}

void SerialQueue::run(std::shared_ptr<Shared> shared, SerialQueue* queue) {
    // `queue` only identifies the queue for isCurrent(); it is never dereferenced here.
    detail::CurrentQueueScope scope(queue, &shared->label);
    while (auto block = shared->blocks.take(std::nullopt)) {
        (*block)();
    }
}

void SerialQueue::async(Block block) { shared_->blocks.push(std::move(block)); }

void SerialQueue::asyncAfter(std::chrono::milliseconds delay, Block block) {
    shared_->blocks.pushAfter(delay, std::move(block));
}

bool SerialQueue::isCurrent() const { return currentQueue() == this; }

void SerialQueue::sync(const Block& block) {
    if (detail::threadIsInside(this))
        fatalMisuse("sync onto the queue \"" + label() + "\" from a block of that queue would deadlock");
    shared_->blocks.pushAndWait(block);
}

}  // namespace tallowmere::dispatch
