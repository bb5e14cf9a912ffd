#pragma once

#include <atomic>

namespace tallowmere::textindex {

// Asks a running search to stop at its next batch boundary. Unlike the index,
// it may be cancelled from any thread.
class SearchCancellation {
public:
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> cancelled_{false};
};

}  // namespace tallowmere::textindex
