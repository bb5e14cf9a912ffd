#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "store/Preferences.h"
#include "support/SyncedStoreDouble.h"
#include "support/TempDir.h"
#include "support/ui/UiWait.h"
#include "window/MainThreadSettingsObserver.h"

using namespace tallowmere;

namespace {

TEST(EventLoopMainQueue, PostsFromManyThreadsRunOnceInTheirOrder) {
    constexpr int kThreads = 8;
    constexpr int kPosts = 10000;
    std::vector<std::vector<int>> seen(kThreads);  // touched on the main thread only
    bool offMain = false;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPosts; ++i) {
                dispatch::MainQueue::shared().async([&, t, i] {
                    offMain = offMain || !dispatch::MainQueue::shared().isCurrent();
                    seen[t].push_back(i);
                });
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(test::waitUntil([&] {
        std::size_t total = 0;
        for (const auto& list : seen) total += list.size();
        return total == kThreads * kPosts;
    }, 20000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(offMain);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kPosts)) << "thread " << t;
        for (int i = 0; i < kPosts; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
    }
}

TEST(EventLoopMainQueue, DelayedPostRunsNoEarlierThanItsDelay) {
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> ran{false};
    Clock::time_point ranAt;
    Clock::time_point postedAt;
    // Posted from another thread: the delay must reach the main thread's timer.
    std::thread poster([&] {
        postedAt = Clock::now();
        dispatch::MainQueue::shared().asyncAfter(std::chrono::milliseconds(250), [&] {
            ranAt = Clock::now();
            ran = true;
        });
    });
    poster.join();
    ASSERT_TRUE(test::waitUntil([&] { return ran.load(); }, 5000));
    EXPECT_GE(ranAt - postedAt, std::chrono::milliseconds(250));
}

TEST(MainThreadSettingsObserver, ChangesFromAnotherThreadArriveOnTheMainThread) {
    test::TempDir dir;
    Preferences preferences(std::make_shared<defaults::UserDefaults>(dir.path() / "settings.json"),
                            std::make_shared<test::SyncedStoreDouble>());
    int calls = 0;
    bool onMain = true;
    auto token = MainThreadSettingsObserver::observe(preferences, Preferences::KeyPath::themeType,
                                                     [&](const std::string& keyPath) {
                                                         EXPECT_EQ(keyPath, Preferences::KeyPath::themeType);
                                                         onMain = onMain && dispatch::MainQueue::shared().isCurrent();
                                                         ++calls;
                                                     });
    std::thread writer([&] { preferences.setThemeType(ThemeType::mocha); });
    writer.join();
    EXPECT_EQ(calls, 0) << "not on the writer's thread";
    ASSERT_TRUE(test::waitUntil([&] { return calls == 1; }));
    preferences.setThemeType(ThemeType::mint);
    EXPECT_EQ(calls, 2) << "a change made on the main thread arrives at once";
    EXPECT_TRUE(onMain);
}

}  // namespace
