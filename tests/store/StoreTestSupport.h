#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/dispatch/MainQueue.h"
#include "store/DataController.h"
#include "support/TempDir.h"

namespace tallowmere::test {

// A DataController over a store file in a fresh folder, with the test thread
// as the main thread.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        controller = open();
        ASSERT_TRUE(controller);
    }
    void TearDown() override {
        controller.reset();
        dispatch::MainQueue::shared().drain();
    }
    std::filesystem::path storePath() const {
        return dir.path() / "data" / "Tallowmere" / "Tallowmere.sqlite";
    }
    std::shared_ptr<DataController> open(FullStoreCheck fullCheck = FullStoreCheck::atOpen) {
        auto opened = DataController::open(storePath(), fullCheck);
        EXPECT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error().message);
        return opened.ok() ? opened.value() : nullptr;
    }
    graph::Context& main() { return *controller->mainContext(); }
    graph::Context& background() { return *controller->backgroundContext(); }
    bool runMainUntil(const std::function<bool()>& done) {
        return dispatch::MainQueue::shared().runUntil(done);
    }
    // Runs the save chain and waits for its completion.
    void saveAndWait() {
        std::atomic<bool> done = false;
        controller->save([&] { done = true; });
        ASSERT_TRUE(runMainUntil([&] { return done.load(); }));
    }

    TempDir dir;
    std::shared_ptr<DataController> controller;
};

}  // namespace tallowmere::test
