#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>

namespace tallowmere::test {

// The arguments of a completion's first call and the thread it ran on; counts
// every call, so a test can require exactly one.
template <typename... Args>
class CompletionOutcome {
public:
    std::function<void(Args...)> completion() {
        return [this](Args... args) {
            std::lock_guard lock(mutex_);
            if (calls_++ == 0) {
                values_ = std::make_tuple(std::move(args)...);
                thread_ = std::this_thread::get_id();
            }
            condition_.notify_all();
        };
    }
    std::tuple<Args...> wait(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(condition_.wait_for(lock, limit, [&] { return calls_ > 0; })) << "no completion";
        return values_;
    }
    bool done() {
        std::lock_guard lock(mutex_);
        return calls_ > 0;
    }
    int calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::thread::id thread() {
        std::lock_guard lock(mutex_);
        return thread_;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    int calls_ = 0;
    std::tuple<Args...> values_;
    std::thread::id thread_;
};

}  // namespace tallowmere::test
