// The cloud feed lists at the size users reach: 1 000 feeds in 50 folders.
// Saving every list (the feed list with folders and the three notification
// lists) into the identity record on the embedded cloud, and the parse and
// compare step with which a start-up sync decides whether to reconcile.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "cloud/CloudFeedEntryText.h"
#include "cloud/ContainerCloudUserManager.h"
#include "cloud/NullCloudNotificationsManager.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Container.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

constexpr int kFeeds = 1000;
constexpr int kFolders = 50;

std::string feedURL(int feed) { return "https://feed" + std::to_string(feed) + ".example.org/rss/"; }

struct Device {
    Device() {
        dispatch::MainQueue::shared().adoptCurrentThread();
        controller = DataController::open(folder.path() / "Tallowmere.sqlite").value();
        auto& context = *controller->backgroundContext();
        context.performAndWait([&] {
            std::vector<Folder> folders;
            for (int f = 0; f < kFolders; ++f) {
                folders.push_back(Folder::insert(context));
                folders.back().setName("Folder " + std::to_string(f) + " 100% News");
            }
            for (int i = 0; i < kFeeds; ++i) {
                Feed feed = Feed::insert(context);
                feed.setName("Feed " + std::to_string(i));
                feed.setUrl(feedURL(i));
                feed.setFolder(folders[static_cast<std::size_t>(i % kFolders)]);
                feed.setNotifyUpdates(i % 3 == 0);
                feed.setNewsletterType(static_cast<std::int16_t>(i % 3));
            }
            (void)context.save();
        });
        nodes = NodesSource::make(controller);
        auto container = cloud::Container::make(cloud::Configuration::localFile(folder.path() / "cloud.sqlite", "alice"));
        auto notifications = std::make_shared<NullCloudNotificationsManager>();
        user = std::make_shared<ContainerCloudUserManager>([container] { return container; }, [] { return true; },
                                                           [notifications] { return notifications; });
        user->setFeedListServices({[n = nodes] { return n; }, {}, {}});
    }
    void wait(const std::function<void(std::function<void()>)>& call) {
        std::atomic<bool> done = false;
        call([&done] { done = true; });
        dispatch::MainQueue::shared().runUntil([&] { return done.load(); }, std::chrono::minutes(2));
    }

    test::TempDir folder;
    std::shared_ptr<DataController> controller;
    std::shared_ptr<NodesSource> nodes;
    std::shared_ptr<ContainerCloudUserManager> user;
};

void BM_SaveAllFeedLists(benchmark::State& state) {
    Device device;
    device.wait([&](auto done) { device.user->saveAllFeedLists(done); });  // makes the record
    std::size_t saved = 0;
    device.wait([&](auto done) {
        device.user->guidRecordQueue().async([&, done] {
            device.user->fetchGUIDRecord([&, done](std::optional<cloud::Record> record, auto, auto) {
                if (record) saved = record->get<std::vector<std::string>>("feeds").value_or(std::vector<std::string>{}).size();
                done();
            });
        });
    });
    if (saved != kFeeds) state.SkipWithError("the feed list was not saved");
    for (auto _ : state) {
        device.wait([&](auto done) { device.user->saveAllFeedLists(done); });
    }
    state.counters["feeds"] = kFeeds;
}
BENCHMARK(BM_SaveAllFeedLists)->Unit(benchmark::kMillisecond)->UseRealTime();

// The record's 1 000 entries parsed, the local feeds read from the store
// and every one of them looked up among the record's URLs.
void BM_ParseAndCompareFeedList(benchmark::State& state) {
    Device device;
    std::vector<std::string> record;
    for (int i = 0; i < kFeeds; ++i) {
        record.push_back(CloudFeedEntryText::make(feedURL(i), "Folder " + std::to_string(i % kFolders) + " 100% News"));
    }
    for (auto _ : state) {
        const auto entries = CloudFeedEntryText::parseAll(record);
        const auto local = ContainerCloudUserManager::feedListEntries(device.nodes->allFeeds(), false);
        const bool listed = CloudFeedEntryText::allListed(local, CloudFeedEntryText::normalizedURLs(entries));
        if (!listed) state.SkipWithError("a local feed is missing from the record");
        benchmark::DoNotOptimize(listed);
    }
    state.counters["entries"] = kFeeds;
}
BENCHMARK(BM_ParseAndCompareFeedList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
