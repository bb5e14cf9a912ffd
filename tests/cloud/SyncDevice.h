#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CloudDevice.h"
#include "cloud/ContainerCloudSyncManager.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/SeededArticles.h"
#include "support/TempDir.h"

namespace tallowmere::test {

// One device of the sync tests: its own store in its own folder, its
// article source and the sync manager over its cloud device. The test
// thread is the main thread.
struct SyncDevice {
    SyncDevice(const std::filesystem::path& cloudFolder) : SyncDevice(std::make_unique<CloudDevice>(cloudFolder)) {}
    explicit SyncDevice(std::unique_ptr<CloudDevice> device) : cloud(std::move(device)) {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(folder.path() / "Tallowmere.sqlite");
        EXPECT_TRUE(opened.ok());
        controller = opened.value();
        source = std::make_unique<ArticlesSource>(controller, [] { return std::optional<std::vector<Feed>>(); });
        sync = std::make_shared<ContainerCloudSyncManager>([c = cloud->container] { return c; },
                                                           [u = cloud->user] { return u; },
                                                           [this]() -> ArticlesSource& { return *source; },
                                                           [n = cloud->notifications] { return n; });
        sync->setScheduler(retries.scheduler(sync->retryQueue()));
    }
    ~SyncDevice() {
        sync.reset();
        // The source's last blocks may still be ending after their completion ran.
        controller->backgroundContext()->performAndWait([] {});
        source->articlesUpdateQueue().sync([] {});
        source.reset();
        dispatch::MainQueue::shared().drain();
        controller.reset();
    }

    // Saved unread articles of one feed, published three days ago.
    void addArticles(const std::vector<std::string>& links) {
        EXPECT_TRUE(seedUnreadArticles(*controller->backgroundContext(), links));
    }
    std::vector<Article> articles(const std::vector<std::string>& links) {
        return articlesWithLinks(*controller->backgroundContext(), links);
    }
    void setRead(const std::vector<std::string>& links, bool read) {
        run([&](auto done) { source->setRead(articles(links), read, done); });
    }
    void setStarred(const std::vector<std::string>& links, bool starred) {
        run([&](auto done) { source->setStarred(articles(links), starred, done); });
    }
    struct State {
        bool read;
        bool starred;
        bool operator==(const State&) const = default;
    };
    std::map<std::string, State> states() {
        std::map<std::string, State> result;
        auto& context = *controller->backgroundContext();
        context.performAndWait([&] {
            for (const Article& article : makeHandles<Article>(context.fetch(Article::fetchRequest())->all())) {
                result[*article.link()] = State{article.isRead(), article.isStarred()};
            }
        });
        return result;
    }
    std::vector<std::string> readLinks() {
        std::vector<std::string> links;
        for (const auto& [link, state] : states()) {
            if (state.read) links.push_back(link);
        }
        return links;
    }
    std::vector<std::string> starredLinks() {
        std::vector<std::string> links;
        for (const auto& [link, state] : states()) {
            if (state.starred) links.push_back(link);
        }
        return links;
    }

    void upload(bool force) { run([&](auto done) { sync->uploadSyncInfo(force, done); }); }
    void download() { run([&](auto done) { sync->downloadSyncInfo(done); }); }
    int privateRequests(FaultInjectingDatabase::Kind kind) { return cloud->container->privateFaults().requestCount(kind); }

    // Runs the call and the main queue until its completion ran; fails
    // when it runs more than once.
    void run(const std::function<void(std::function<void()>)>& call) {
        auto calls = std::make_shared<std::atomic<int>>(0);
        call([calls] { ++*calls; });
        // Generous: sanitizer builds run the million-hash case many times slower.
        EXPECT_TRUE(dispatch::MainQueue::shared().runUntil([&] { return calls->load() > 0; }, std::chrono::minutes(3)));
        dispatch::MainQueue::shared().drain();
        EXPECT_EQ(calls->load(), 1);
    }

    std::unique_ptr<CloudDevice> cloud;
    TempDir folder;
    std::shared_ptr<DataController> controller;
    std::unique_ptr<ArticlesSource> source;
    RetryRecorder retries;
    std::shared_ptr<ContainerCloudSyncManager> sync;
};

}  // namespace tallowmere::test
