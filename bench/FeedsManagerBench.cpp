// The feeds manager end to end on a loopback server of 1 000 feeds of 20
// items each: one batch add of all of them, a refresh in which every feed
// changed, and a refresh in which every feed answers 304. Besides the times
// it reports the longest stretch the main queue spent in one task during the
// refreshes (an upper bound: it includes waits of up to 5 ms for work).
// Then a refresh in which every feed answers 304 over a store as a user's
// after months (100 000 and 300 000 articles): it should not grow with it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "RealisticStore.h"
#include "feeds/FeedsManager.h"
#include "feeds/IconService.h"
#include "feeds/PrefetchManager.h"
#include "feeds/RSSService.h"
#include "feeds/SearchManagerFeedsIndex.h"
#include "feeds/WebService.h"
#include "foundation/Logger.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "sources/SearchManager.h"
#include "sources/TagsSource.h"
#include "store/DataController.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

namespace {

using namespace tallowmere;
using Clock = std::chrono::steady_clock;

// TALLOWMERE_BENCH_FEEDS sets another number of feeds (for profiling).
const int feedCount = [] {
    const char* text = std::getenv("TALLOWMERE_BENCH_FEEDS");
    return text ? std::max(1, std::atoi(text)) : 1000;
}();
constexpr int itemsPerFeed = 20;

std::string rfc822(std::chrono::system_clock::time_point time) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &parts);
    return text;
}

std::string entityTag(int generation, int feed) {
    std::string tag(1, '"');
    tag += std::to_string(generation);
    tag += '-';
    tag += std::to_string(feed);
    tag += '"';
    return tag;
}

// Feeds /feeds/<n> whose content belongs to the current generation: every
// generation replaces all items by newer ones with their own entity tag.
class BenchServer {
public:
    BenchServer() {
        server_.server().Get(R"(/feeds/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
            ++feedRequests_;
            const int feed = std::stoi(request.matches[1]);
            const int generation = generation_.load();
            const std::string eTag = entityTag(generation, feed);
            response.set_header("ETag", eTag);
            if (request.get_header_value("If-None-Match") == eTag) {
                response.status = 304;
                return;
            }
            response.set_content(document(feed, generation), "application/rss+xml");
        });
        server_.server().Get(R"(/articles/(.+))", [this](const httplib::Request&, httplib::Response& response) {
            ++pages_;
            response.set_content("<html><body><article><p>" + std::string(600, 'w') + "</p></article></body></html>",
                                 "text/html");
        });
        server_.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(R"(<html><head><link rel="icon" href="/icon.png"></head></html>)", "text/html");
        });
        server_.server().Get("/icon.png", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(64, 'i'), "image/png");
        });
        server_.start();
    }
    std::string feedURL(int feed) const { return server_.url("/feeds/" + std::to_string(feed)); }
    void nextGeneration() { ++generation_; }
    long pages() const { return pages_.load(); }
    long feedRequests() const { return feedRequests_.load(); }

private:
    std::string document(int feed, int generation) const {
        const auto base = std::chrono::system_clock::now() - std::chrono::hours(24) + std::chrono::hours(generation);
        std::string xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed " + std::to_string(feed) +
                          "</title><link>" + server_.url("/") + "</link><description>d</description>";
        for (int item = 0; item < itemsPerFeed; ++item) {
            const std::string id = std::to_string(feed) + "-" + std::to_string(generation) + "-" + std::to_string(item);
            xml += "<item><title>Story " + id + " of feed " + std::to_string(feed) + "</title><link>" +
                   server_.url("/articles/" + id) + "</link><pubDate>" + rfc822(base - std::chrono::minutes(item)) +
                   "</pubDate><description>Report " + id + " about topic" + std::to_string(item * 7 + feed) +
                   " and matter" + std::to_string(generation) + "</description><category>tag" +
                   std::to_string(item % 5) + "</category></item>";
        }
        return xml + "</channel></rss>";
    }

    test::LoopbackServer server_;
    std::atomic<int> generation_{0};
    std::atomic<long> pages_{0};
    std::atomic<long> feedRequests_{0};
};

// Runs the main queue until `done`, keeping the longest time between two
// looks at the condition (one task, or one idle wait of at most 5 ms).
double runMain(const std::function<bool()>& done, double* longestMs) {
    const auto start = Clock::now();
    auto last = start;
    dispatch::MainQueue::shared().runUntil(
        [&] {
            const auto now = Clock::now();
            if (longestMs) *longestMs = std::max(*longestMs, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            return done();
        },
        std::chrono::minutes(10));
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Until no article page has been asked for during half a second, so that
// one phase's prefetches do not run into the next phase's figures.
void settle(const BenchServer& server) {
    for (long seen = -1; seen != server.pages();) {
        seen = server.pages();
        runMain([deadline = Clock::now() + std::chrono::milliseconds(500)] { return Clock::now() > deadline; },
                nullptr);
    }
}

std::size_t articleCount(DataController& controller) {
    std::size_t count = 0;
    controller.backgroundContext()->performAndWait([&] {
        auto counted = controller.backgroundContext()->count(Article::fetchRequest());
        if (counted.ok()) count = counted.value();
    });
    return count;
}

// The feeds manager and everything it works with over one store.
struct Reader {
    Reader(const std::shared_ptr<DataController>& dataController, const std::filesystem::path& folder)
        : nodes(NodesSource::make(dataController)),
          articles(dataController, [nodes = nodes]() -> std::optional<std::vector<Feed>> { return nodes->allFeeds(); }),
          searchManager(folder / "index" / "Tallowmere.index", dataController),
          webService(std::make_unique<WebService>()),
          rssService(*webService),
          iconService(*webService),
          prefetchManager(*webService),
          manager(std::make_unique<FeedsManager>(FeedsManager::Collaborators{
              dataController, nodes, &articles, &TagsSource::shared(),
              std::make_shared<SearchManagerFeedsIndex>(searchManager), &prefetchManager, &rssService, &iconService,
              webService.get(), [] { return false; }, FeedsManager::defaultAnswerTimeout})) {}

    // Refreshes every feed; the seconds it took.
    double refresh(double* longestMs) {
        std::atomic<bool> done = false;
        manager->refreshAllFeeds(false, [&](std::optional<RSSServiceError> error) {
            if (error) std::fprintf(stderr, "refresh error: %s\n", error->description().c_str());
            done = true;
        });
        return runMain([&] { return done.load(); }, longestMs);
    }
    void close() {
        manager.reset();
        webService.reset();
        dispatch::MainQueue::shared().drain();
    }

    std::shared_ptr<NodesSource> nodes;
    ArticlesSource articles;
    SearchManager searchManager;
    std::unique_ptr<WebService> webService;
    RSSService rssService;
    IconService iconService;
    PrefetchManager prefetchManager;
    std::unique_ptr<FeedsManager> manager;
};

void BM_FeedsManagerThousandFeeds(benchmark::State& state) {
    dispatch::MainQueue::shared().adoptCurrentThread();
    for (auto _ : state) {
        test::TempDir dir;
        BenchServer server;
        auto dataController = DataController::open(dir.path() / "store" / "Tallowmere.sqlite").value();
        Reader reader(dataController, dir.path());
        auto& nodes = reader.nodes;
        auto& manager = reader.manager;

        std::vector<FeedsManager::FeedEntry> entries;
        for (int feed = 0; feed < feedCount; ++feed)
            entries.push_back({server.feedURL(feed), feed % 10 ? std::nullopt : std::optional<std::string>("Folder")});
        std::atomic<bool> added = false;
        manager->addFeeds(entries, FeedBatchOptions{}, [&](std::size_t) { added = true; });
        const double addSeconds = runMain([&] { return added.load(); }, nullptr);
        const std::size_t afterAdd = articleCount(*dataController);
        settle(server);

        auto refresh = [&](double* longestMs) { return reader.refresh(longestMs); };
        // The first refresh after the adds stores the validators.
        refresh(nullptr);
        settle(server);

        server.nextGeneration();
        double longestChangedMs = 0;
        const double changedSeconds = refresh(&longestChangedMs);
        const std::size_t afterChanged = articleCount(*dataController);
        settle(server);

        double longestQuietMs = 0;
        const long requestsBefore = server.feedRequests();
        const double quietSeconds = refresh(&longestQuietMs);
        std::printf("304 refresh: %ld feed requests\n", server.feedRequests() - requestsBefore);
        const std::size_t afterQuiet = articleCount(*dataController);

        state.counters["feeds"] = static_cast<double>(nodes->allFeeds().size());
        state.counters["add_all_s"] = addSeconds;
        state.counters["add_articles_per_s"] = static_cast<double>(afterAdd) / addSeconds;
        state.counters["refresh_changed_s"] = changedSeconds;
        state.counters["refresh_changed_articles_per_s"] = static_cast<double>(afterChanged - afterAdd) / changedSeconds;
        state.counters["refresh_304_s"] = quietSeconds;
        state.counters["refresh_304_new_articles"] = static_cast<double>(afterQuiet - afterChanged);
        state.counters["main_task_max_ms"] = std::max(longestChangedMs, longestQuietMs);
        std::printf(
            "feeds %zu; add all %.2f s (%zu articles, %.0f/s); refresh changed %.2f s (%zu new, %.0f/s); "
            "refresh 304 %.2f s (%zu new); longest main-queue task %.1f ms (changed) / %.1f ms (304)\n",
            nodes->allFeeds().size(), addSeconds, afterAdd, afterAdd / addSeconds, changedSeconds,
            afterChanged - afterAdd, (afterChanged - afterAdd) / changedSeconds, quietSeconds,
            afterQuiet - afterChanged, longestChangedMs, longestQuietMs);

        settle(server);
        reader.close();
    }
}
BENCHMARK(BM_FeedsManagerThousandFeeds)->Iterations(1)->Unit(benchmark::kSecond);

// One batch add of `range(0)` feeds into an empty store, until the batch's
// completion (the pages it prefetches are left to finish untimed): twice
// the feeds should take about twice the time.
void BM_FeedsManagerBatchAdd(benchmark::State& state) {
    dispatch::MainQueue::shared().adoptCurrentThread();
    const auto feeds = static_cast<int>(state.range(0));
    for (auto _ : state) {
        test::TempDir dir;
        BenchServer server;
        auto dataController = DataController::open(dir.path() / "store" / "Tallowmere.sqlite").value();
        Reader reader(dataController, dir.path());
        std::vector<FeedsManager::FeedEntry> entries;
        for (int feed = 0; feed < feeds; ++feed)
            entries.push_back({server.feedURL(feed), feed % 10 ? std::nullopt : std::optional<std::string>("Folder")});
        std::atomic<bool> added = false;
        std::atomic<std::size_t> count = 0;
        reader.manager->addFeeds(entries, FeedBatchOptions{}, [&](std::size_t n) {
            count = n;
            added = true;
        });
        const double seconds = runMain([&] { return added.load(); }, nullptr);
        state.SetIterationTime(seconds);
        state.counters["added"] = static_cast<double>(count.load());
        std::printf("batch add of %d feeds: %.2f s (%.2f ms per feed)\n", feeds, seconds, seconds * 1000 / feeds);
        settle(server);
        reader.close();
    }
}
BENCHMARK(BM_FeedsManagerBatchAdd)->Arg(1000)->Arg(2000)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

// 1 000 feeds whose server answers 304 to every one, over a store of
// `range(0)` articles per feed, all younger than the retention's 30 days
// (a store in its steady state: the retention finds nothing to remove, but
// has to look). The first refresh is untimed; each iteration times one.
void BM_QuietRefreshLargeStore(benchmark::State& state) {
    dispatch::MainQueue::shared().adoptCurrentThread();
    test::TempDir dir;
    BenchServer server;
    auto dataController = DataController::open(dir.path() / "store" / "Tallowmere.sqlite").value();
    bench::RealisticStoreShape shape;
    shape.feeds = feedCount;
    shape.articlesPerFeed = static_cast<int>(state.range(0));
    shape.days = 28;
    shape.feedURL = [&](int feed) { return server.feedURL(feed); };
    shape.eTag = [](int feed) { return entityTag(0, feed); };
    bench::fillRealisticStore(*dataController, shape);
    Reader reader(dataController, dir.path());
    auto refresh = [&](double* longestMs) { return reader.refresh(longestMs); };
    refresh(nullptr);
    const std::size_t stored = articleCount(*dataController);
    double longestMs = 0;
    for (auto _ : state) refresh(&longestMs);
    state.counters["articles"] = static_cast<double>(stored);
    state.counters["removed"] = static_cast<double>(stored - articleCount(*dataController));
    state.counters["main_task_max_ms"] = longestMs;
    reader.close();
}
BENCHMARK(BM_QuietRefreshLargeStore)->Arg(100)->Arg(300)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
