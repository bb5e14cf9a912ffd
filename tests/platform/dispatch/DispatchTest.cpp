#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/DispatchQueueFactory.h"
#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/ObjectCache.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"

using namespace std::chrono_literals;
using namespace tallowmere;
using namespace tallowmere::dispatch;

TEST(SerialQueue, RunsBlocksInOrderOnItsOwnThreadWithItsLabel) {
    auto queue = makeDispatchQueue("test_serial_queue", QualityOfService::utility);
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::string seenLabel;
    for (int i = 0; i < 500; ++i) {
        queue->async([&, i] {
            order.push_back(i);
            threads.push_back(std::this_thread::get_id());
            if (i == 0) seenLabel = std::string(currentQueueLabel());
        });
    }
    queue->sync([] {});
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(order[i], i);
    EXPECT_NE(threads.front(), std::this_thread::get_id());
    for (auto id : threads) EXPECT_EQ(id, threads.front());
    EXPECT_EQ(seenLabel, "test_serial_queue");
    EXPECT_EQ(currentQueueLabel(), "");
    EXPECT_EQ(queue->qos(), QualityOfService::utility);
}

TEST(SerialQueue, TwoQueuesNeverShareAThread) {
    SerialQueue a("a_queue"), b("b_queue");
    std::thread::id ta, tb;
    a.sync([&] { ta = std::this_thread::get_id(); });
    b.sync([&] { tb = std::this_thread::get_id(); });
    EXPECT_NE(ta, tb);
}

TEST(SerialQueue, BlocksNeverOverlap) {
    SerialQueue queue("overlap_queue");
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> submitters;
    for (int t = 0; t < 4; ++t) {
        submitters.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                queue.async([&] {
                    if (inside.fetch_add(1) != 0) overlapped = true;
                    inside.fetch_sub(1);
                });
            }
        });
    }
    for (auto& t : submitters) t.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
}

TEST(SerialQueue, SyncOntoItselfStopsWithAClearMessage) {
    EXPECT_DEATH(
        {
            SerialQueue queue("self_sync_queue");
            queue.sync([&] { queue.sync([] {}); });
        },
        "self_sync_queue.*deadlock");
}

TEST(SerialQueue, SyncBackFromAGlobalSyncInsideItsBlockStopsWithAClearMessage) {
    EXPECT_DEATH(
        {
            alarm(30);  // a deadlock ends the child with another message
            SerialQueue queue("nested_sync_queue");
            queue.sync(
                [&] { GlobalQueue::shared(QualityOfService::utility).sync([&] { queue.sync([] {}); }); });
        },
        "nested_sync_queue.*deadlock");
}

TEST(SerialQueue, DelayedBlocksRunAfterTheirDelayInDueOrder) {
    SerialQueue queue("delay_queue");
    std::mutex mutex;
    std::vector<int> order;
    Semaphore done(0);
    const auto start = std::chrono::steady_clock::now();
    queue.asyncAfter(60ms, [&] {
        std::lock_guard lock(mutex);
        order.push_back(2);
        done.signal();
    });
    queue.asyncAfter(20ms, [&] {
        std::lock_guard lock(mutex);
        order.push_back(1);
    });
    queue.async([&] {
        std::lock_guard lock(mutex);
        order.push_back(0);
    });
    ASSERT_TRUE(done.wait(5s));
    // The last block may still be on its way out of signal().
    queue.sync([] {});
    EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(Semaphore, TwoUnitsLetTwoWaitsThroughAndBlockTheThird) {
    Semaphore semaphore(2);
    EXPECT_TRUE(semaphore.wait(0ms));
    EXPECT_TRUE(semaphore.wait(0ms));
    EXPECT_FALSE(semaphore.wait(30ms));

    std::atomic<bool> passed{false};
    std::thread waiter([&] {
        semaphore.wait();
        passed = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(passed);
    semaphore.signal();
    waiter.join();
    EXPECT_TRUE(passed);
}

TEST(DispatchGroup, NotifyRunsOnceAfterTheLastLeave) {
    DispatchGroup group;
    SerialQueue queue("group_queue");
    std::atomic<int> notified{0};
    std::atomic<int> finished{0};
    for (int i = 0; i < 10; ++i) {
        group.async(GlobalQueue::shared(QualityOfService::utility), [&] {
            std::this_thread::sleep_for(1ms);
            ++finished;
        });
    }
    Semaphore done(0);
    std::string label;
    group.notify(queue, [&] {
        notified += 1;
        EXPECT_EQ(finished.load(), 10);
        label = std::string(currentQueueLabel());
        done.signal();
    });
    ASSERT_TRUE(done.wait(5s));
    EXPECT_TRUE(group.wait(1s));
    queue.sync([] {});
    EXPECT_EQ(notified.load(), 1);
    EXPECT_EQ(label, "group_queue");
}

TEST(DispatchGroup, NotifyOnAnEmptyGroupRunsAtOnceAndWaitTimesOut) {
    DispatchGroup group;
    SerialQueue queue("empty_group_queue");
    std::atomic<bool> ran{false};
    group.notify(queue, [&] { ran = true; });
    queue.sync([] {});
    EXPECT_TRUE(ran);

    group.enter();
    EXPECT_FALSE(group.wait(20ms));
    group.leave();
    EXPECT_TRUE(group.wait(0ms));
}

TEST(MainQueue, RunsBlocksOnTheAdoptingThreadWithItsLabel) {
    auto& main = MainQueue::shared();
    main.adoptCurrentThread();
    EXPECT_TRUE(main.isCurrent());
    EXPECT_EQ(currentQueueLabel(), MainQueue::kLabel);

    SerialQueue worker("worker_queue");
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    worker.async([&] {
        EXPECT_FALSE(main.isCurrent());
        main.async([&] {
            ranOn = std::this_thread::get_id();
            done = true;
        });
    });
    EXPECT_TRUE(main.runUntil([&] { return done.load(); }));
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // A worker may wait on the main queue while the main thread runs its loop.
    std::atomic<bool> synced{false};
    worker.async([&] {
        main.sync([] {});
        synced = true;
    });
    EXPECT_TRUE(main.runUntil([&] { return synced.load(); }));
}

TEST(MainQueue, ADrainWithABudgetStopsOnceItIsSpentAndKeepsTheOrder) {
    auto& main = MainQueue::shared();
    main.adoptCurrentThread();
    std::vector<int> ran;
    main.async([&] {
        ran.push_back(1);
        std::this_thread::sleep_for(20ms);
    });
    main.async([&] { ran.push_back(2); });
    main.async([&] { ran.push_back(3); });
    EXPECT_TRUE(main.drain(5ms)) << "stopped with blocks left";
    EXPECT_EQ(ran, std::vector<int>{1});
    EXPECT_FALSE(main.drain(10s)) << "everything ran within the budget";
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST(GlobalQueue, RunsBlocksConcurrently) {
    auto& global = GlobalQueue::shared(QualityOfService::userInitiated);
    Semaphore first(0), second(0);
    DispatchGroup group;
    // Each block waits for the other: only concurrent execution finishes.
    group.async(global, [&] {
        second.signal();
        first.wait();
    });
    group.async(global, [&] {
        first.signal();
        second.wait();
    });
    EXPECT_TRUE(group.wait(5s));
    EXPECT_EQ(global.label(), "global_user_initiated");
}

TEST(ObjectCache, KeepsTheMostRecentlyUsedWithinItsCountLimit) {
    ObjectCache<std::string, int> cache(2);
    cache.setObject("a", 1);
    cache.setObject("b", 2);
    EXPECT_EQ(cache.object("a"), 1);  // a is now the most recent
    cache.setObject("c", 3);          // drops b
    EXPECT_EQ(cache.object("b"), std::nullopt);
    EXPECT_EQ(cache.object("a"), 1);
    EXPECT_EQ(cache.object("c"), 3);
    cache.setObject("a", 10);
    EXPECT_EQ(cache.object("a"), 10);
    EXPECT_EQ(cache.count(), 2u);
    cache.removeObject("a");
    EXPECT_EQ(cache.count(), 1u);
    cache.removeAll();
    EXPECT_EQ(cache.count(), 0u);
}

TEST(SerialQueue, ABlockMayDestroyItsOwnQueue) {
    auto* queue = new SerialQueue("self_destroying_queue");
    Semaphore bothQueued(0), done(0);
    std::atomic<bool> laterRan{false};
    queue->async([queue, &bothQueued] {
        bothQueued.wait();
        delete queue;
    });
    // Queued before the delete runs: still run by the worker on its own.
    queue->async([&] {
        laterRan = true;
        done.signal();
    });
    bothQueued.signal();
    ASSERT_TRUE(done.wait(5s));
    EXPECT_TRUE(laterRan);
}

TEST(ConcurrentPerform, DoesEveryIndexOnceAlsoWhenNoWorkerIsFree) {
    // Every worker of the pool (at most 16) blocked: the caller does it all.
    // The blocks share the semaphore: some may still be on their way out of
    // their wait, or not yet started, when the test ends.
    auto release = std::make_shared<Semaphore>(0);
    constexpr int workers = 16;
    for (int i = 0; i < workers; ++i)
        GlobalQueue::shared(QualityOfService::utility).async([release] { release->wait(); });
    for (int round = 0; round < 2; ++round) {
        std::vector<std::atomic<int>> done(500);
        concurrentPerform(done.size(), QualityOfService::utility, [&](std::size_t index) { ++done[index]; });
        for (std::size_t index = 0; index < done.size(); ++index) ASSERT_EQ(done[index].load(), 1) << index;
        // Then with the workers free again.
        for (int i = 0; i < workers && round == 0; ++i) release->signal();
    }
    concurrentPerform(0, QualityOfService::utility, [](std::size_t) { FAIL(); });
}
