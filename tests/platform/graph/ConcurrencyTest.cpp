#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

#include "GraphTestModel.h"

using namespace tallowmere::graph;
using namespace tallowmere::graph::test;

using ConcurrencyTest = GraphTest;

namespace {
void waitFor(const std::atomic<bool>& flag) {
    while (!flag.load()) std::this_thread::yield();
}
}  // namespace

TEST_F(ConcurrencyTest, PerformAndWaitIsReentrant) {
    auto background = container->newPrivateContext();
    int depth = 0;
    main->performAndWait([&] {
        main->performAndWait([&] {
            depth = 1;
            main->performAndWait([&] { depth = 2; });
        });
    });
    EXPECT_EQ(depth, 2);
    std::atomic<bool> done = false;
    background->perform([&] {
        background->performAndWait([&] {
            background->performAndWait([&] { done = true; });
        });
    });
    background->performAndWait([] {});
    EXPECT_TRUE(done);
}

TEST_F(ConcurrencyTest, BlocksOfOneContextRunInOrderAndNeverAtOnce) {
    auto background = container->newPrivateContext();
    std::atomic<int> inside = 0;
    std::atomic<bool> overlap = false;
    std::vector<int> order;
    auto enter = [&] {
        if (inside.fetch_add(1) != 0) overlap = true;
        std::this_thread::yield();
        inside.fetch_sub(1);
    };
    std::thread other([&] {
        for (int i = 0; i < 200; ++i) background->performAndWait(enter);
    });
    for (int i = 0; i < 200; ++i) {
        background->perform([&, i] {
            enter();
            order.push_back(i);
        });
        if (i % 20 == 0) background->performAndWait(enter);
    }
    other.join();
    background->performAndWait([] {});
    EXPECT_FALSE(overlap);
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
    // A wait queued behind asynchronous blocks sees them done.
    int value = 0;
    background->perform([&] { value = 1; });
    background->performAndWait([&] { EXPECT_EQ(value, 1); });
}

// The main context waits for the private one while that one waits for the
// main context: the waiting main thread lends its context.
TEST_F(ConcurrencyTest, MainAndPrivateContextsMayWaitForEachOther) {
    auto background = container->newPrivateContext();
    std::atomic<bool> backgroundStarted = false, mainInside = false, backgroundReachedMain = false;
    background->perform([&] {
        backgroundStarted = true;
        waitFor(mainInside);
        main->performAndWait([&] { backgroundReachedMain = true; });
    });
    bool mainReachedBackground = false;
    main->performAndWait([&] {
        mainInside = true;
        waitFor(backgroundStarted);
        background->performAndWait([&] { mainReachedBackground = true; });
    });
    background->performAndWait([] {});
    EXPECT_TRUE(backgroundReachedMain);
    EXPECT_TRUE(mainReachedBackground);

    // The main thread outside any block waits for the private context whose
    // queued block waits for the main context.
    std::atomic<bool> reached = false;
    background->perform([&] { main->performAndWait([&] { reached = true; }); });
    background->performAndWait([&] { EXPECT_TRUE(reached); });

    // A private context's block waits for another private context that waits back.
    auto second = container->newPrivateContext();
    std::atomic<bool> firstIn = false, secondIn = false;
    std::atomic<int> finished = 0;
    background->perform([&] {
        firstIn = true;
        waitFor(secondIn);
        second->performAndWait([&] { ++finished; });
    });
    second->perform([&] {
        secondIn = true;
        waitFor(firstIn);
        background->performAndWait([&] { ++finished; });
    });
    background->performAndWait([] {});
    second->performAndWait([] {});
    EXPECT_EQ(finished.load(), 2);
}

TEST_F(ConcurrencyTest, WritersOnSeveralContextsKeepTheStoreConsistent) {
    auto first = container->newPrivateContext();
    auto second = container->newPrivateContext();
    ObjectID feedID;
    main->performAndWait([&] {
        auto feed = main->insert("Feed");
        feed->setString("url", "u");
        ASSERT_TRUE(main->save().ok());
        feedID = feed->objectID();
    });
    auto writer = [&](std::shared_ptr<Context> context, int base) {
        for (int i = 0; i < 20; ++i) {
            context->perform([context, feedID, base, i] {
                auto feed = context->existingObject(feedID).value();
                auto article = context->insert("Article");
                article->setInteger("tallowmereHash", base + i);
                article->setToOne("feed", feed);
                ASSERT_TRUE(context->save().ok());
            });
        }
    };
    writer(first, 1000);
    writer(second, 2000);
    first->performAndWait([] {});
    second->performAndWait([] {});
    std::size_t seen = 0;
    ASSERT_TRUE(runMainUntil([&] {
        main->performAndWait([&] { seen = main->existingObject(feedID).value()->count("articles"); });
        return seen == 40;
    }));
    first->performAndWait([&] { EXPECT_EQ(first->existingObject(feedID).value()->toManyIDs("articles").size(), 40u); });
}

// A block of a context's own queue may hold the last reference (a merge, or
// a caller's block that holds the context weakly and locks it): the context
// then ends there, and its queue must outlive the block.
TEST_F(ConcurrencyTest, AContextMayEndInABlockOfItsOwnQueue) {
    for (int round = 0; round < 20; ++round) {
        auto background = container->newPrivateContext("ending_queue");
        std::weak_ptr<Context> weak = background;
        std::atomic<bool> locked = false, dropped = false, merged = false;
        background->perform([&, weak] {
            auto self = weak.lock();
            locked = true;
            waitFor(dropped);
            self->mergeChanges(ChangeSet{});
            merged = true;
        });
        waitFor(locked);
        background.reset();
        dropped = true;
        waitFor(merged);
        while (!weak.expired()) std::this_thread::yield();
    }
}

// The process may end while a context's queue still runs blocks: what the
// gates share must outlive the static destructors run by exit().
TEST_F(ConcurrencyTest, TheProcessMayExitWhileAQueueRunsBlocks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto background = container->newPrivateContext("exiting_queue");
            std::atomic<int> runs = 0;
            std::function<void()> again = [&] {
                ++runs;
                background->perform(again);
            };
            background->perform(again);
            while (runs < 100) std::this_thread::yield();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
