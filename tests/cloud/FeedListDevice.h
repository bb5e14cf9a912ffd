#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CloudDevice.h"
#include "cloud/ContainerCloudUserManager.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "store/Preferences.h"
#include "support/CloudCalls.h"
#include "support/SyncedStoreDouble.h"
#include "support/TempDir.h"

namespace tallowmere::test {

// One device of the feed-list tests: its cloud device, its own store with a
// node source, its own settings. Feeds the reconciliation adds go straight
// into the store (the feed engine's adder is tested across processes). The
// test thread is the main thread.
struct FeedListDevice {
    explicit FeedListDevice(const std::filesystem::path& cloudFolder, const std::string& account = "alice")
        : cloud(cloudFolder, account) {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(folder.path() / "Tallowmere.sqlite");
        EXPECT_TRUE(opened.ok());
        controller = opened.value();
        nodes = NodesSource::make(controller);
        preferences = std::make_shared<Preferences>(
            std::make_shared<defaults::UserDefaults>(folder.path() / "settings.json"),
            std::make_shared<SyncedStoreDouble>());
        cloud.user->setFeedListServices({[n = nodes] { return n; },
                                         [this](std::vector<CloudFeedEntry> entries, std::function<void()> done) {
                                             for (const auto& entry : entries) {
                                                 ++additions;
                                                 addUnlessStored(entry.urlString, entry.folder);
                                             }
                                             completeInBackground(std::move(done));
                                         },
                                         [p = preferences] { return p; }});
    }
    ~FeedListDevice() {
        controller->backgroundContext()->performAndWait([] {});
        dispatch::MainQueue::shared().drain();
    }

    std::optional<graph::ObjectID> folderID(const std::optional<std::string>& name) {
        if (!name || name->empty()) return std::nullopt;
        std::optional<Folder> found = nodes->folder(*name);
        if (!found) found = nodes->addFolder(*name);
        std::optional<graph::ObjectID> id;
        found->context()->performAndWait([&] { id = found->objectID(); });
        return id;
    }
    Feed add(const std::string& url, const std::optional<std::string>& folder = std::nullopt, bool notify = false,
             NewsletterType newsletter = NewsletterType::none) {
        return nodes->addFeed(url, url, std::nullopt, folderID(folder), notify, newsletter);
    }
    void addUnlessStored(const std::string& url, const std::optional<std::string>& folder) {
        nodes->addFeedUnlessStored(url, url, std::nullopt, folderID(folder), false, NewsletterType::none);
    }
    // The stored feeds as entry texts, sorted.
    std::vector<std::string> feeds() {
        auto entries = ContainerCloudUserManager::feedListEntries(nodes->allFeeds(), true);
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    // Runs the call and the main queue until its completion ran once.
    void run(const std::function<void(std::function<void()>)>& call) {
        auto calls = std::make_shared<std::atomic<int>>(0);
        call([calls] { ++*calls; });
        EXPECT_TRUE(dispatch::MainQueue::shared().runUntil([&] { return calls->load() > 0; }, std::chrono::seconds(60)));
        dispatch::MainQueue::shared().drain();
        EXPECT_EQ(calls->load(), 1);
    }
    void sync() { run([&](auto done) { cloud.user->syncFeeds(done); }); }

    CloudDevice cloud;
    TempDir folder;
    std::shared_ptr<DataController> controller;
    std::shared_ptr<NodesSource> nodes;
    std::shared_ptr<Preferences> preferences;
    std::atomic<int> additions{0};
};

// The account's identity record as the cloud holds it, read by a device of its own.
inline std::optional<cloud::Record> storedGUIDRecord(const std::filesystem::path& cloudFolder,
                                                     const std::string& account = "alice") {
    auto container = cloud::Container::make(cloud::Configuration::localFile(cloudFolder / "cloud.sqlite", account));
    auto found = cloudcalls::queryAll(*container->publicDatabase(), cloud::Query("guid"));
    if (found.empty()) return std::nullopt;
    return found.front();
}

inline std::vector<std::string> storedList(const std::filesystem::path& cloudFolder, const char* key) {
    auto record = storedGUIDRecord(cloudFolder);
    if (!record) return {};
    return record->get<std::vector<std::string>>(key).value_or(std::vector<std::string>{});
}

}  // namespace tallowmere::test
