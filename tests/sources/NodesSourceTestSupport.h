#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/MainQueue.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "support/TempDir.h"

namespace tallowmere::test {

// A store in a fresh folder, the test thread as the main thread and a node
// source over that store.
class NodesSourceTest : public ::testing::Test {
public:
    // Counts the batches of changes the sidebar is told of.
    struct CountingDelegate : NodesSourceDelegate {
        void nodesSourceWillChangeContent() override { ++batches; }
        void nodesSourceDidChangeContent() override {}
        int batches = 0;
    };

protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir.path() / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        controller = opened.value();
        source = NodesSource::make(controller);
    }
    void TearDown() override {
        source.reset();
        controller.reset();
        dispatch::MainQueue::shared().drain();
    }

    graph::Context& main() { return *controller->mainContext(); }
    graph::Context& background() { return *controller->backgroundContext(); }
    bool runMainUntil(const std::function<bool()>& done) { return dispatch::MainQueue::shared().runUntil(done); }
    // Lets the main context take in what the background context saved.
    void settle() { dispatch::MainQueue::shared().drain(); }

    // Waits on the main thread for an asynchronous operation's completion.
    void wait(const std::function<void(NodesSource::Completion)>& operation) {
        std::atomic<int> calls = 0;
        operation([&] { ++calls; });
        ASSERT_TRUE(runMainUntil([&] { return calls.load() > 0; }));
        settle();
        EXPECT_EQ(calls.load(), 1);
    }
    void saveAndWait() {
        wait([&](NodesSource::Completion done) { controller->save(std::move(done)); });
    }

    Feed addFeed(const std::string& name, const std::string& url, std::optional<Folder> folder = std::nullopt) {
        auto feed = source->addFeed(name, url, std::nullopt, folder ? std::optional(folder->objectID()) : std::nullopt,
                                    false, NewsletterType::none);
        settle();
        return feed;
    }
    Folder addFolder(const std::string& name) {
        auto folder = source->addFolder(name);
        settle();
        return folder;
    }
    // The main context's handle of a node made elsewhere.
    Node inMain(const StoredObject& object) { return Node(main().object(object.objectID())); }
    std::string nameOf(const graph::ObjectID& id) { return Node(main().object(id)).name().value_or("?"); }

    TempDir dir;
    std::shared_ptr<DataController> controller;
    std::shared_ptr<NodesSource> source;
};

}  // namespace tallowmere::test
