#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/dispatch/BlockList.h"
#include "platform/dispatch/Queue.h"

namespace tallowmere::dispatch {

// The queue of the main thread. It holds its blocks itself; whoever owns the
// main thread runs them: the GUI binds a waker that schedules drain() on the Qt
// event loop, tests call runUntil() on their own thread.
class MainQueue final : public Queue {
public:
    static MainQueue& shared();
    static constexpr const char* kLabel = "main_thread";

    // Makes the calling thread the main thread (tests and the program's entry).
    void adoptCurrentThread();
    // Called after each submission, from the submitting thread.
    void setWaker(std::function<void()> waker);

    void async(Block block) override;
    void sync(const Block& block) override;
    void asyncAfter(std::chrono::milliseconds delay, Block block) override;
    const std::string& label() const override { return label_; }
    bool isCurrent() const override;

    // How long until the earliest delayed block is due; nothing when none
    // waits. An event loop arms its timer with it after each drain().
    std::optional<BlockList::Clock::duration> timeUntilNextDelayed() const { return blocks_.timeUntilNextDelayed(); }
    // Runs the blocks that are due now; on the main thread only.
    void drain();
    // As drain(), but stops taking blocks once the budget is spent; answers
    // whether it stopped early (blocks may be left). An event loop calls it to keep drawing and
    // input going while a long run of blocks waits.
    bool drain(BlockList::Clock::duration budget);
    // Runs blocks as they come until `done` holds or the time-out passes;
    // returns whether `done` held. On the main thread only.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    MainQueue() = default;
    void requireMainThread(const char* operation) const;

    const std::string label_ = kLabel;
    BlockList blocks_;
    std::atomic<std::thread::id> mainThread_{};
};

}  // namespace tallowmere::dispatch
