#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace tallowmere::dispatch {

enum class QualityOfService { background, utility, standard, userInitiated, userInteractive };

using Block = std::function<void()>;

// Something that runs blocks: a serial queue of our own, the main queue or a
// global (concurrent) queue.
class Queue {
public:
    virtual ~Queue() = default;
    virtual void async(Block block) = 0;
    // Runs the block and returns when it has run. A sync onto the queue that is
    // running the caller would never return: it stops the program instead.
    virtual void sync(const Block& block) = 0;
    virtual void asyncAfter(std::chrono::milliseconds delay, Block block) = 0;
    virtual const std::string& label() const = 0;
    // True when the calling thread is running a block of this queue.
    virtual bool isCurrent() const = 0;
};

// The label of the queue running on this thread, or "" when the thread runs
// none (a thread of our own or of a library).
std::string_view currentQueueLabel();
// The queue running on this thread, or nullptr.
Queue* currentQueue();

// Stops the program with "Fatal error: " and the message: the one way the
// program stops itself, for misuse that would otherwise deadlock or corrupt
// state and for a store that cannot be opened or saved.
[[noreturn]] void fatalMisuse(std::string_view message);

namespace detail {
// Marks the calling thread as running blocks of `queue` for good (the main thread).
void bindThread(Queue* queue, const std::string* label);

// True when the calling thread runs a block of `queue`, also from inside a
// block of another queue that runs on this thread within it (a global
// queue's sync). A sync onto such a queue would wait for itself.
bool threadIsInside(const Queue* queue);

// Marks the calling thread as running blocks of `queue` until the guard dies.
class CurrentQueueScope {
public:
    CurrentQueueScope(Queue* queue, const std::string* label);
    ~CurrentQueueScope();
    CurrentQueueScope(const CurrentQueueScope&) = delete;
    CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

private:
    friend bool threadIsInside(const Queue* queue);
    Queue* previousQueue_;
    const std::string* previousLabel_;
    const CurrentQueueScope* outer_;
};
}  // namespace detail

}  // namespace tallowmere::dispatch
