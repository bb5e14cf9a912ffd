// The article source at the size users reach: 1 000 feeds, 100 000 articles
// (100 per feed over the last 60 days, half unread, one in twenty starred),
// each with about 1 KB of text and its HTML as feeds deliver them; the list
// switch also at 300 000.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "RealisticStore.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/TempDir.h"

using namespace tallowmere;
using graph::Date;

namespace {

std::optional<std::vector<Feed>> fetchFeeds(DataController& controller) {
    std::optional<std::vector<Feed>> feeds;
    auto& context = *controller.backgroundContext();
    context.performAndWait([&] {
        auto results = context.fetch(Feed::fetchRequest());
        if (results.ok()) feeds = makeHandles<Feed>(results->all());
    });
    return feeds;
}

// One filled store file per size; each benchmark that changes the store works on a copy.
class StoreTemplate {
public:
    static StoreTemplate& shared(int articlesPerFeed = 100) {
        static std::map<int, std::unique_ptr<StoreTemplate>> instances;
        auto& instance = instances[articlesPerFeed];
        if (!instance) instance.reset(new StoreTemplate(articlesPerFeed));
        return *instance;
    }
    std::filesystem::path freshCopy() {
        const auto target = dir_.path() / ("copy" + std::to_string(++copies_));
        std::filesystem::create_directories(target);
        for (const auto& entry : std::filesystem::directory_iterator(original_.parent_path())) {
            std::filesystem::copy_file(entry.path(), target / entry.path().filename());
        }
        return target / original_.filename();
    }
    const std::filesystem::path& original() const { return original_; }

private:
    explicit StoreTemplate(int articlesPerFeed) {
        dispatch::MainQueue::shared().adoptCurrentThread();
        original_ = dir_.path() / "template" / "Tallowmere.sqlite";
        auto controller = DataController::open(original_);
        if (!controller.ok()) std::abort();
        bench::RealisticStoreShape shape;
        shape.articlesPerFeed = articlesPerFeed;
        bench::fillRealisticStore(*controller.value(), shape);
    }
    test::TempDir dir_;
    std::filesystem::path original_;
    int copies_ = 0;
};

// Peak growth of the resident set over a stretch of work, in megabytes.
class PeakMemory {
public:
    PeakMemory() {
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak
        start_ = field("VmRSS:");
    }
    double extraMegabytes() const { return static_cast<double>(field("VmHWM:") - start_) / 1024.0; }

private:
    static long field(const std::string& name) {
        std::ifstream status("/proc/self/status");
        std::string key;
        long value = 0;
        while (status >> key) {
            if (key == name) {
                status >> value;
                return value;
            }
            std::getline(status, key);
        }
        return 0;
    }
    long start_ = 0;
};

// What the calling thread spent off the processor: waiting to run while
// runnable (a loaded machine), and switches it asked for (reads from disk, lock
// waits), with the page faults that had to read.
struct ThreadWaits {
    double runnableMs = 0;
    long voluntarySwitches = 0;
    long majorFaults = 0;

    static ThreadWaits now() {
        ThreadWaits waits;
        std::ifstream schedstat("/proc/thread-self/schedstat");
        unsigned long long running = 0, waiting = 0;
        if (schedstat >> running >> waiting) waits.runnableMs = static_cast<double>(waiting) / 1e6;
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        waits.voluntarySwitches = usage.ru_nvcsw;
        waits.majorFaults = usage.ru_majflt;
        return waits;
    }
    ThreadWaits operator-(const ThreadWaits& earlier) const {
        return {runnableMs - earlier.runnableMs, voluntarySwitches - earlier.voluntarySwitches,
                majorFaults - earlier.majorFaults};
    }
    ThreadWaits& operator+=(const ThreadWaits& more) {
        runnableMs += more.runnableMs;
        voluntarySwitches += more.voluntarySwitches;
        majorFaults += more.majorFaults;
        return *this;
    }
};

// User and system time of every thread of the process.
double processCPUSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct OpenStore {
    explicit OpenStore(const std::filesystem::path& path) {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(path);
        if (!opened.ok()) std::abort();
        controller = opened.value();
        source = std::make_unique<ArticlesSource>(controller, [c = controller.get()] { return fetchFeeds(*c); });
    }
    ~OpenStore() {
        source.reset();
        dispatch::MainQueue::shared().drain();
    }
    // Lets the main context take in what was saved, outside the timing.
    void settle() {
        std::atomic<bool> done = false;
        controller->saveQueue().async([&] { dispatch::MainQueue::shared().async([&] { done = true; }); });
        dispatch::MainQueue::shared().runUntil([&] { return done.load(); }, std::chrono::minutes(1));
    }
    std::vector<Feed> mainFeeds(int first, int count) {
        std::vector<Feed> feeds;
        auto& context = *controller->mainContext();
        context.performAndWait([&] {
            auto request = Feed::fetchRequest();
            request.sortDescriptors = {{Node::Key::sortName, true, true}};
            auto all = makeHandles<Feed>(context.fetch(request)->all());
            feeds.assign(all.begin() + first, all.begin() + first + count);
        });
        return feeds;
    }
    std::shared_ptr<DataController> controller;
    std::unique_ptr<ArticlesSource> source;
};

// Switching the selection: a rebuild of the list and its first row, each
// time coming from another selection (one small feed, untimed).
void BM_SwitchSelection(benchmark::State& state) {
    OpenStore store(StoreTemplate::shared(static_cast<int>(state.range(2))).original());
    store.source->setGroupByFeed(state.range(1) != 0);
    store.source->setSortUnreadAscending(true);
    const ArticlesSourceFeedsInfo elsewhere(store.mainFeeds(999, 1), std::nullopt);
    ArticlesSourceFeedsInfo target;
    switch (state.range(0)) {
    case 0: target = ArticlesSourceFeedsInfo(std::nullopt, std::nullopt); break;                      // all 100 000
    case 1: target = ArticlesSourceFeedsInfo(std::nullopt, ArticlesSourceFilter::unread); break;      // 50 000 unread
    case 2: target = ArticlesSourceFeedsInfo(store.mainFeeds(10, 1), std::nullopt); break;            // one feed
    case 3: target = ArticlesSourceFeedsInfo(store.mainFeeds(0, 50), std::nullopt); break;            // a folder of 50
    case 4: target = ArticlesSourceFeedsInfo(store.mainFeeds(300, 200), ArticlesSourceFilter::unread); break;
    case 5: target = ArticlesSourceFeedsInfo(std::nullopt, ArticlesSourceFilter::today); break;
    default: target = ArticlesSourceFeedsInfo(std::nullopt, ArticlesSourceFilter::starred); break;
    }
    auto& context = *store.controller->mainContext();
    ThreadWaits waits;
    for (auto _ : state) {
        state.PauseTiming();
        store.source->setFeedsInfo(elsewhere);
        state.ResumeTiming();
        const ThreadWaits before = ThreadWaits::now();
        store.source->setFeedsInfo(target);
        context.performAndWait([&] {
            auto first = store.source->article(0);
            if (first) benchmark::DoNotOptimize(first->title());
        });
        waits += ThreadWaits::now() - before;
    }
    state.counters["rows"] = static_cast<double>(store.source->numberOfArticles());
    const double switches = static_cast<double>(state.iterations());
    state.counters["runnableMs"] = waits.runnableMs / switches;
    state.counters["waits"] = static_cast<double>(waits.voluntarySwitches) / switches;
    state.counters["majfaults"] = static_cast<double>(waits.majorFaults) / switches;
}
BENCHMARK(BM_SwitchSelection)
    ->ArgNames({"selection", "grouped", "perFeed"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {0, 1}, {100, 300}})
    ->Unit(benchmark::kMillisecond);

void BM_UnreadCount(benchmark::State& state) {
    OpenStore store(StoreTemplate::shared().original());
    for (auto _ : state) benchmark::DoNotOptimize(store.source->articlesCount(ArticlesSourceFilter::unread));
    state.counters["unread"] = static_cast<double>(store.source->articlesCount(ArticlesSourceFilter::unread));
}
BENCHMARK(BM_UnreadCount)->Unit(benchmark::kMillisecond);

// All feeds marked read: the store as filled (half unread), or with every
// article made unread first.
void BM_MarkAllFeedsAsRead(benchmark::State& state) {
    const bool everyArticleUnread = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<OpenStore>(StoreTemplate::shared().freshCopy());
        if (everyArticleUnread) {
            auto& context = *store->controller->backgroundContext();
            context.performAndWait([&] {
                for (const Article& article : makeHandles<Article>(context.fetch(Article::fetchRequest())->all())) {
                    article.setUnreadInFeed(article.feed());
                }
                if (!context.save().ok()) std::abort();
            });
            store->settle();
        }
        const std::size_t unread = store->source->articlesCount(ArticlesSourceFilter::unread);
        state.ResumeTiming();

        // Marking runs on the background context alone; the main context's
        // merge of the saved changes comes after, untimed.
        PeakMemory peak;
        const double cpuBefore = processCPUSeconds();
        std::promise<void> marked;
        store->source->markAllFeedsAsRead([&] { marked.set_value(); });
        marked.get_future().wait();

        state.PauseTiming();
        // On a loaded machine the wall time mostly waits for a processor.
        state.counters["process_cpu_ms"] = (processCPUSeconds() - cpuBefore) * 1000;
        state.counters["extra_MB"] = peak.extraMegabytes();
        store->settle();
        state.counters["marked"] = static_cast<double>(unread);
        if (store->source->articlesCount(ArticlesSourceFilter::unread) != 0) state.SkipWithError("articles left unread");
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MarkAllFeedsAsRead)->ArgName("everyArticleUnread")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// The removal over the whole store: about half of each feed's articles are
// older than 30 days, at most 50 per feed go.
void BM_RemoveOldArticles(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<OpenStore>(StoreTemplate::shared().freshCopy());
        state.ResumeTiming();

        std::atomic<long> removed = -1;
        store->source->removeOldArticles([&](std::vector<Article> articles) { removed = static_cast<long>(articles.size()); });
        dispatch::MainQueue::shared().runUntil([&] { return removed.load() >= 0; }, std::chrono::minutes(2));

        state.PauseTiming();
        state.counters["removed"] = static_cast<double>(removed.load());
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RemoveOldArticles)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
