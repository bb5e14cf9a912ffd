// The read and starred state sync at the size users reach: 100 000 stored
// articles, 50 000 of them unread and 2 000 starred. One device uploads
// (gathers its hash lists and saves the sync record); the other, whose
// articles are all read and unstarred, downloads the record and applies it.
// Both devices share one embedded cloud file.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "cloud/ContainerCloudSyncManager.h"
#include "cloud/ContainerCloudUserManager.h"
#include "cloud/NullCloudNotificationsManager.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Container.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

constexpr int kArticles = 100'000;
constexpr int kUnread = 50'000;
constexpr int kStarred = 2'000;

struct Device {
    Device(const std::filesystem::path& cloudFile, const std::filesystem::path& storeFolder) {
        auto opened = DataController::open(storeFolder / "Tallowmere.sqlite");
        controller = opened.value();
        source = std::make_unique<ArticlesSource>(controller, [] { return std::optional<std::vector<Feed>>(); });
        auto container = cloud::Container::make(cloud::Configuration::localFile(cloudFile, "alice"));
        auto notifications = std::make_shared<NullCloudNotificationsManager>();
        user = std::make_shared<ContainerCloudUserManager>([container] { return container; }, [] { return true; },
                                                           [notifications] { return notifications; });
        sync = std::make_shared<ContainerCloudSyncManager>([container] { return container; }, [u = user] { return u; },
                                                           [this]() -> ArticlesSource& { return *source; },
                                                           [notifications] { return notifications; });
    }
    // `withState`: the first half unread, the first 2 000 starred; else all read.
    void fill(bool withState) {
        auto& context = *controller->backgroundContext();
        context.performAndWait([&] {
            std::vector<Feed> feeds;
            for (int f = 0; f < 100; ++f) {
                feeds.push_back(Feed::insert(context));
                feeds.back().setName("feed " + std::to_string(f));
                feeds.back().setUrl("https://feed" + std::to_string(f) + ".example/rss");
            }
            for (int i = 0; i < kArticles; ++i) {
                Feed& feed = feeds[static_cast<std::size_t>(i % 100)];
                Article article = Article::insert(context);
                article.setLink("https://example.com/article/" + std::to_string(i));
                article.setTitle("Article " + std::to_string(i));
                article.setDate(graph::Date{graph::Date::now().seconds - 5 * 86400.0});
                article.setFeed(feed);
                article.setTallowmereHash(i + 1);
                if (withState && i < kUnread) article.setUnreadInFeed(feed);
                if (withState && i < kStarred) article.setStarredInFeed(feed);
                if (i % 10'000 == 9'999) context.save();
            }
            context.save();
        });
    }
    void run(const std::function<void(std::function<void()>)>& call) {
        std::atomic<bool> done = false;
        call([&] { done = true; });
        dispatch::MainQueue::shared().runUntil([&] { return done.load(); }, std::chrono::minutes(5));
    }

    std::shared_ptr<DataController> controller;
    std::unique_ptr<ArticlesSource> source;
    std::shared_ptr<ContainerCloudUserManager> user;
    std::shared_ptr<ContainerCloudSyncManager> sync;
};

struct Setup {
    Setup() {
        dispatch::MainQueue::shared().adoptCurrentThread();
        std::filesystem::create_directories(root.path() / "a");
        std::filesystem::create_directories(root.path() / "b");
        uploader = std::make_unique<Device>(root.path() / "cloud.sqlite", root.path() / "a");
        downloader = std::make_unique<Device>(root.path() / "cloud.sqlite", root.path() / "b");
        uploader->fill(true);
        downloader->fill(false);
        // The user record and GUID are made before timing.
        uploader->run([&](auto done) { uploader->user->getGUID([done](auto) { done(); }); });
        downloader->run([&](auto done) { downloader->user->getGUID([done](auto) { done(); }); });
    }
    test::TempDir root;
    std::unique_ptr<Device> uploader;
    std::unique_ptr<Device> downloader;
};

Setup& setup() {
    static Setup instance;
    return instance;
}

void BM_UploadSyncInfo(benchmark::State& state) {
    Device& device = *setup().uploader;
    for (auto _ : state) device.run([&](auto done) { device.sync->uploadSyncInfo(false, done); });
}
BENCHMARK(BM_UploadSyncInfo)->Unit(benchmark::kMillisecond)->Iterations(3);

// The first run applies 50 000 unread and 2 000 starred articles; later
// runs find nothing left to change.
void BM_DownloadAndApplySyncInfo(benchmark::State& state) {
    Device& device = *setup().downloader;
    for (auto _ : state) device.run([&](auto done) { device.sync->downloadSyncInfo(done); });
    state.counters["unread"] = static_cast<double>(device.source->unreadArticleHashes().size());
    state.counters["starred"] = static_cast<double>(device.source->starredArticleHashes().size());
}
BENCHMARK(BM_DownloadAndApplySyncInfo)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DownloadAndApplySyncInfo)->Name("BM_DownloadAndApplySyncInfo/unchanged")->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
