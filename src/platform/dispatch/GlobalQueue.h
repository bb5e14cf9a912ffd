#pragma once

#include <string>

#include "platform/dispatch/Queue.h"

namespace tallowmere::dispatch {

// The concurrent "global queue" of a quality of service: blocks run on a small
// shared pool of worker threads, in no fixed order and possibly at once.
class GlobalQueue final : public Queue {
public:
    static GlobalQueue& shared(QualityOfService qos);

    void async(Block block) override;
    void sync(const Block& block) override;
    void asyncAfter(std::chrono::milliseconds delay, Block block) override;
    const std::string& label() const override { return label_; }
    bool isCurrent() const override;

private:
    explicit GlobalQueue(std::string label) : label_(std::move(label)) {}
    Block wrapped(Block block);

    const std::string label_;
};

}  // namespace tallowmere::dispatch
