// A reader without windows, for timing against other readers on the same
// server: opens (or creates) the store and the search index in a data
// folder, imports an OPML file when the store holds no feed yet, refreshes
// every feed once and exits when every fetch, parse, save, index write and
// prefetch has ended.
//
//   bench_refresher --data DIR [--opml FILE] [--no-refresh] [--sizes]
//
// --sizes: at the end, where the data folder's bytes go.
//
// Every task of the main queue is timed; the report on standard error names
// the longest (TALLOWMERE_REFRESHER_TRACE set: every task over 16 ms, or over
// the milliseconds it gives).
#include <sqlite3.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "feeds/FeedsManager.h"
#include "feeds/IconService.h"
#include "feeds/OPMLManager.h"
#include "feeds/PrefetchManager.h"
#include "feeds/RSSService.h"
#include "feeds/SearchManagerFeedsIndex.h"
#include "feeds/WebService.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "sources/SearchManager.h"
#include "sources/TagsSource.h"
#include "store/DataController.h"

namespace {

using namespace tallowmere;
using Clock = std::chrono::steady_clock;

struct Options {
    std::filesystem::path data;
    std::optional<std::filesystem::path> opml;
    bool refresh = true;
    bool sizes = false;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--data" && hasValue) {
            options.data = argv[++i];
        } else if (argument == "--opml" && hasValue) {
            options.opml = argv[++i];
        } else if (argument == "--no-refresh") {
            options.refresh = false;
        } else if (argument == "--sizes") {
            options.sizes = true;
        } else {
            return std::nullopt;
        }
    }
    if (options.data.empty()) return std::nullopt;
    return options;
}

// The main queue's loop, one task at a time, each timed: the longest is
// how long a window would have stalled at worst. (A time without any task
// counts as a task of at most a millisecond, the wait for one.)
class MainLoop {
public:
    MainLoop() : traceOver_(traceThreshold()), start_(Clock::now()) {
        dispatch::MainQueue::shared().adoptCurrentThread();
    }

    // Turns the loop until `done` holds; returns the seconds it took.
    double runUntil(const std::function<bool()>& done) {
        const auto start = Clock::now();
        while (!done()) {
            const auto turn = Clock::now();
            const double cpuStart = threadCPUSeconds();
            bool asked = false;
            dispatch::MainQueue::shared().runUntil(
                [&] { return std::exchange(asked, true); }, std::chrono::milliseconds(1));
            const auto length = Clock::now() - turn;
            const double cpu = threadCPUSeconds() - cpuStart;
            longest_ = std::max(longest_, length);
            longestCPU_ = std::max(longestCPU_, cpu);
            if (traceOver_ && length > *traceOver_)
                std::fprintf(stderr, "%.3f s: main-queue task of %.1f ms (%.1f ms on the processor)\n",
                             seconds(turn - start_), seconds(length) * 1000, cpu * 1000);
        }
        return seconds(Clock::now() - start);
    }

    double longestTaskMs() const { return seconds(longest_) * 1000; }
    // The same task's time on the processor: on a loaded machine a task also
    // waits for its turn, which the wall-clock figure includes.
    double longestTaskCPUMs() const { return longestCPU_ * 1000; }

private:
    static double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }
    static double threadCPUSeconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    }

    static std::optional<std::chrono::milliseconds> traceThreshold() {
        const char* setting = std::getenv("TALLOWMERE_REFRESHER_TRACE");
        if (!setting) return std::nullopt;
        const int given = std::atoi(setting);
        return std::chrono::milliseconds(given > 0 ? given : 16);
    }

    const std::optional<std::chrono::milliseconds> traceOver_;
    const Clock::time_point start_;
    Clock::duration longest_{};
    double longestCPU_ = 0;
};

double peakResidentMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Where the data folder's bytes go: every file (logs included), and per
// table and index of the store and the search index, from SQLite's page
// statistics.
void printSizes(const std::filesystem::path& data) {
    double total = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data)) {
        if (!entry.is_regular_file()) continue;
        const double megabytes = static_cast<double>(entry.file_size()) / 1e6;
        total += megabytes;
        std::fprintf(stderr, "size %-40s %8.2f MB\n", std::filesystem::relative(entry.path(), data).c_str(), megabytes);
        if (entry.path().extension() != ".sqlite" && entry.path().extension() != ".index") continue;
        sqlite3* connection = nullptr;
        if (sqlite3_open_v2(entry.path().c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* parts = nullptr;
            const char* sql =
                "SELECT name, SUM(pgsize), SUM(payload), SUM(unused) FROM dbstat GROUP BY name ORDER BY 2 DESC";
            if (sqlite3_prepare_v2(connection, sql, -1, &parts, nullptr) == SQLITE_OK)
                while (sqlite3_step(parts) == SQLITE_ROW)
                    std::fprintf(stderr, "  %-66s %7.2f MB (payload %.2f, unused %.2f)\n",
                                 reinterpret_cast<const char*>(sqlite3_column_text(parts, 0)),
                                 static_cast<double>(sqlite3_column_int64(parts, 1)) / 1e6,
                                 static_cast<double>(sqlite3_column_int64(parts, 2)) / 1e6,
                                 static_cast<double>(sqlite3_column_int64(parts, 3)) / 1e6);
            sqlite3_finalize(parts);
        }
        sqlite3_close(connection);
    }
    std::fprintf(stderr, "size of the data folder %.2f MB\n", total);
}

int run(const Options& options) {
    MainLoop loop;
    const auto start = Clock::now();
    auto opened = DataController::open(options.data / "store" / "Tallowmere.sqlite");
    if (!opened.ok()) {
        std::fprintf(stderr, "cannot open the store in %s\n", options.data.c_str());
        return 1;
    }
    std::shared_ptr<DataController> dataController = opened.value();
    auto nodes = NodesSource::make(dataController);
    auto articles = std::make_unique<ArticlesSource>(
        dataController, [nodes]() -> std::optional<std::vector<Feed>> { return nodes->allFeeds(); });
    auto searchManager = std::make_unique<SearchManager>(options.data / "index" / "Tallowmere.index", dataController);
    auto webService = std::make_unique<WebService>();
    auto rssService = std::make_unique<RSSService>(*webService);
    auto iconService = std::make_unique<IconService>(*webService);
    auto prefetchManager = std::make_unique<PrefetchManager>(*webService);
    auto feeds = std::make_unique<FeedsManager>(FeedsManager::Collaborators{
        dataController, nodes, articles.get(), &TagsSource::shared(),
        std::make_shared<SearchManagerFeedsIndex>(*searchManager), prefetchManager.get(), rssService.get(),
        iconService.get(), webService.get(), [] { return false; }, FeedsManager::defaultAnswerTimeout});
    auto opml = std::make_unique<OPMLManager>(*feeds, nodes, dataController);

    double importSeconds = 0;
    if (options.opml && nodes->allFeeds().empty()) {
        std::atomic<bool> imported = false;
        opml->importOPML(*options.opml, [&](std::optional<OPMLError> error, std::size_t) {
            if (error) std::fprintf(stderr, "import failed: %s\n", error->message.c_str());
            imported = true;
        });
        importSeconds = loop.runUntil([&] { return imported.load(); });
    }

    double refreshSeconds = 0;
    if (options.refresh) {
        std::atomic<bool> refreshed = false;
        feeds->refreshAllFeeds(false, [&](std::optional<RSSServiceError> error) {
            if (error) std::fprintf(stderr, "last refresh error: %s\n", error->description().c_str());
            refreshed = true;
        });
        refreshSeconds = loop.runUntil([&] { return refreshed.load(); });
    }

    // The prefetches still under way, then the save of what they wrote, then
    // the index writes: everything the refresh started has reached the disk.
    const auto tailStart = Clock::now();
    // Their destructors wait for that work; the main queue keeps turning
    // (and being timed) meanwhile.
    std::atomic<bool> ended = false;
    std::thread ending([&] {
        opml.reset();
        feeds.reset();
        prefetchManager.reset();
        ended = true;
    });
    loop.runUntil([&] { return ended.load(); });
    ending.join();
    std::atomic<bool> saved = false;
    dataController->save([&] { saved = true; });
    loop.runUntil([&] { return saved.load(); });
    searchManager.reset();
    const double tailSeconds = std::chrono::duration<double>(Clock::now() - tailStart).count();

    std::fprintf(stderr,
                 "feeds %zu; import %.2f s; refresh %.2f s; prefetch, save and index tail %.2f s; total %.2f s; "
                 "longest main-queue task %.1f ms (%.1f ms on the processor); peak resident %.0f MB\n",
                 nodes->allFeeds().size(), importSeconds, refreshSeconds, tailSeconds,
                 std::chrono::duration<double>(Clock::now() - start).count(), loop.longestTaskMs(), loop.longestTaskCPUMs(),
                 peakResidentMB());

    iconService.reset();
    rssService.reset();
    webService.reset();
    articles.reset();
    dispatch::MainQueue::shared().drain();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: %s --data DIR [--opml FILE] [--no-refresh] [--sizes]\n", argv[0]);
        return 2;
    }
    const int status = run(*options);
    // Once the store is closed, so that its log has been copied back.
    if (status == 0 && options->sizes) printSizes(options->data);
    return status;
}
