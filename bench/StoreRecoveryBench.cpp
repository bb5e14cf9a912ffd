// The cost of keeping data safe at the size users reach (100 000 articles of
// about 1 KB of text in 100 feeds): the integrity check every start runs, the
// recovery of a store with damaged pages in its middle, and the rebuild of a
// damaged search index from the store.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/graph/StoreRecovery.h"
#include "sources/SearchManager.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "support/TempDir.h"

using namespace tallowmere;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kArticles = 100'000;
constexpr int kFeeds = 100;
constexpr int kChunk = 2'000;

std::string body(std::mt19937_64& random) {
    static const char* words[] = {"harbour", "council", "weather", "market", "river",  "station", "report",
                                  "school",  "bridge",  "garden",  "winter", "summer", "library", "museum"};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
    std::string text;
    while (text.size() < 1000) text += std::string(words[pick(random)]) + (text.size() % 7 ? " " : ". ");
    return text;
}

// A closed store of every article, made once; the benchmarks work on copies.
struct Library {
    test::TempDir folder;
    std::filesystem::path store;
    Library() : store(folder.path() / "source" / "Tallowmere.sqlite") {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto controller = DataController::open(store).value();
        graph::Context& context = *controller->backgroundContext();
        std::mt19937_64 random(20261210);
        std::vector<Feed> feeds;
        context.performAndWait([&] {
            std::vector<Folder> folders;
            for (int index = 0; index < 10; ++index) {
                Folder folder = Folder::insert(context);
                folder.setName("Folder " + std::to_string(index));
                folders.push_back(folder);
            }
            for (int index = 0; index < kFeeds; ++index) {
                Feed feed = Feed::insert(context);
                feed.setName("Feed " + std::to_string(index));
                feed.setUrl("https://site" + std::to_string(index) + ".example/feed.xml");
                feed.setSortValue(index + 1);
                feed.setFolder(folders[static_cast<std::size_t>(index % 10)]);
                feeds.push_back(feed);
            }
            if (!context.save().ok()) std::abort();
        });
        for (int first = 0; first < kArticles; first += kChunk) {
            context.performAndWait([&] {
                for (int index = first; index < first + kChunk; ++index) {
                    const Feed& feed = feeds[static_cast<std::size_t>(index % kFeeds)];
                    Article article = Article::insert(context);
                    article.setTitle("Article " + std::to_string(index));
                    article.setLink(*feed.url() + "/" + std::to_string(index));
                    article.setTextContent(body(random));
                    article.setFeed(feed);
                    if (index % 20 == 0) article.setStarredInFeed(feed);
                    if (index % 3 != 0) article.setUnreadInFeed(feed);
                }
                if (!context.save().ok()) std::abort();
            });
        }
        controller.reset();
        dispatch::MainQueue::shared().drain();
    }
};

Library& library() {
    static Library* built = new Library;
    return *built;
}

std::filesystem::path copyOfStore(const std::string& name) {
    const auto target = library().folder.path() / name / "Tallowmere.sqlite";
    std::filesystem::remove_all(target.parent_path());
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(library().store, target);
    return target;
}

void BM_IntegrityCheckAtOpen(benchmark::State& state) {
    const auto store = library().store;
    for (auto _ : state) {
        auto check = graph::StoreRecovery::check(store.string());
        if (check.state != graph::StoreCheck::State::healthy) state.SkipWithError("the store should be healthy");
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(store)) / 1e6;
}
BENCHMARK(BM_IntegrityCheckAtOpen)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// Open of a store with 16 pages in its middle overwritten: the check, moving
// it aside, a fresh store and carrying every readable row over.
void BM_RecoverStoreWithDamagedMiddlePages(benchmark::State& state) {
    std::int64_t articles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto store = copyOfStore("damaged");
        {
            std::mt19937 random(7);
            std::string noise(16 * 4096, '\0');
            for (char& c : noise) c = static_cast<char>(random());
            std::fstream file(store, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(static_cast<std::streamoff>(std::filesystem::file_size(store) / 2 / 4096 * 4096));
            file.write(noise.data(), static_cast<std::streamsize>(noise.size()));
        }
        state.ResumeTiming();
        std::optional<graph::StoreRecoveryReport> report;
        {
            auto controller = DataController::open(store);
            state.PauseTiming();
            if (controller) report = controller.value()->storeRecovery();
        }
        dispatch::MainQueue::shared().drain();
        if (!report) {
            state.SkipWithError("the store was not recovered");
            break;
        }
        articles = report->rowsCarriedOver["article"];
        state.ResumeTiming();
    }
    state.counters["articles_kept"] = static_cast<double>(articles);
}
BENCHMARK(BM_RecoverStoreWithDamagedMiddlePages)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// A damaged (here: empty) index file at start: set aside, and every stored
// article indexed again in the background, until the last batch is written.
void BM_RebuildSearchIndexFromStore(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const auto store = copyOfStore("rebuild");
        const auto index = store.parent_path() / "Tallowmere.index";
        std::ofstream(index).flush();
        auto controller = DataController::open(store).value();
        state.ResumeTiming();
        SearchManager manager(index, controller);
        while (manager.isRebuilding()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        manager.searchQueue().sync([] {});
        state.PauseTiming();
        state.counters["index_MB"] = static_cast<double>(std::filesystem::file_size(index)) / 1e6;
        state.ResumeTiming();
    }
    state.counters["articles/s"] = benchmark::Counter(static_cast<double>(kArticles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RebuildSearchIndexFromStore)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
