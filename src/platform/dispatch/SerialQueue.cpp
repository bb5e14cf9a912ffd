#include "platform/dispatch/SerialQueue.h"


#include <pthread.h>

namespace tallowmere::dispatch {

SerialQueue::SerialQueue(std::string label, QualityOfService qos) : label_(std::move(label)), qos_(qos) {
    worker_ = std::thread([this] { run(); });
    workerId_ = worker_.get_id();
    // Thread names are limited to 15 bytes; the label helps in a debugger.
    pthread_setname_np(worker_.native_handle(), label_.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue() {
    blocks_.close();
    if (std::this_thread::get_id() == workerId_) {
        worker_.detach();  // the last block of the queue destroyed its owner
    } else if (worker_.joinable()) {
        worker_.join();
    }
}

void SerialQueue::run() {
    detail::CurrentQueueScope scope(this, &label_);
    while (auto block = blocks_.take(std::nullopt)) {
        (*block)();
    }
}

void SerialQueue::async(Block block) { blocks_.push(std::move(block)); }

void SerialQueue::asyncAfter(std::chrono::milliseconds delay, Block block) {
    blocks_.pushAfter(delay, std::move(block));
}

bool SerialQueue::isCurrent() const { return currentQueue() == this; }

void SerialQueue::sync(const Block& block) {
    if (isCurrent()) fatalMisuse("sync onto the queue \"" + label_ + "\" from a block of that queue would deadlock");
    blocks_.pushAndWait(block);
}

}  // namespace tallowmere::dispatch
