#include <gtest/gtest.h>

#include <QThread>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ui/UiWait.h"
#include "window/TerminationCoordinator.h"

using namespace tallowmere;
using namespace std::chrono_literals;

namespace {

// The steps, each recording its name as it runs; the completions come from
// other threads, as the store's and the cloud's do.
struct RecordedSteps {
    std::mutex mutex;
    std::vector<std::string> order;
    std::vector<std::thread> threads;
    bool uploadHangs = false;

    ~RecordedSteps() {
        for (auto& thread : threads) thread.join();
    }
    void record(const std::string& step) {
        std::lock_guard lock(mutex);
        order.push_back(step);
    }
    void later(std::function<void()> done) {
        std::lock_guard lock(mutex);
        threads.emplace_back([done = std::move(done)] {
            std::this_thread::sleep_for(5ms);
            done();
            done();  // a second call changes nothing
        });
    }
    TerminationCoordinator::Steps steps(int panes) {
        TerminationCoordinator::Steps steps;
        steps.writeSettings = [this] { record("settings"); };
        steps.cancelFeedWork = [this] { record("cancel"); };
        steps.paneSaves = [this, panes] {
            std::vector<TerminationCoordinator::AsyncStep> saves;
            for (int pane = 0; pane < panes; ++pane) {
                saves.push_back([this, pane](std::function<void()> done) {
                    record("pane" + std::to_string(pane));
                    // The first pane answers at once, the others later.
                    if (pane == 0) {
                        done();
                    } else {
                        later(std::move(done));
                    }
                });
            }
            return saves;
        };
        steps.saveStore = [this](std::function<void()> done) {
            record("store");
            later(std::move(done));
        };
        steps.uploadSyncInfo = [this](std::function<void()> done) {
            record("upload");
            if (!uploadHangs) later(std::move(done));
        };
        return steps;
    }
};

struct Replies {
    std::vector<bool> complete;
    std::vector<bool> onMainThread;
};

void listen(TerminationCoordinator& coordinator, Replies& replies) {
    QObject::connect(&coordinator, &TerminationCoordinator::replied, [&replies](bool complete) {
        replies.complete.push_back(complete);
        replies.onMainThread.push_back(QThread::currentThread() == qApp->thread());
    });
}

}  // namespace

TEST(TerminationCoordinator, RunsTheStepsInOrderAndRepliesOnceOnTheMainThread) {
    for (int panes : {0, 2}) {
        RecordedSteps recorded;
        TerminationCoordinator coordinator(recorded.steps(panes));
        Replies replies;
        listen(coordinator, replies);
        coordinator.requestTermination();
        coordinator.requestTermination();  // a second request while quitting
        ASSERT_TRUE(test::waitUntil([&] { return !replies.complete.empty(); }));
        test::waitUntil([] { return false; }, 50);  // any late second reply would come now

        std::vector<std::string> expected = {"settings", "cancel"};
        for (int pane = 0; pane < panes; ++pane) expected.push_back("pane" + std::to_string(pane));
        expected.insert(expected.end(), {"store", "upload"});
        EXPECT_EQ(recorded.order, expected) << panes << " panes";
        EXPECT_EQ(replies.complete, std::vector<bool>{true});
        EXPECT_EQ(replies.onMainThread, std::vector<bool>{true});
    }
}

TEST(TerminationCoordinator, AnUploadThatNeverEndsIsLeftAfterTheBound) {
    RecordedSteps recorded;
    recorded.uploadHangs = true;
    TerminationCoordinator coordinator(recorded.steps(1), 300ms);
    Replies replies;
    listen(coordinator, replies);
    const auto start = std::chrono::steady_clock::now();
    coordinator.requestTermination();
    ASSERT_TRUE(test::waitUntil([&] { return !replies.complete.empty(); }, 5000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(replies.complete, std::vector<bool>{false});
    EXPECT_EQ(recorded.order.back(), "upload");
}
