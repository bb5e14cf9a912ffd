// The sidebar tree of 1 000 feeds in 50 folders: building the node source
// (ordering pass, tree fetch, feed and folder lists) and walking the whole
// outline the way the sidebar asks for it.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/dispatch/MainQueue.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

constexpr int kFolders = 50;
constexpr int kFeedsPerFolder = 20;

// One store for every run, filled once and saved with its ordering.
class Tree {
public:
    Tree() {
        dispatch::MainQueue::shared().adoptCurrentThread();
        controller = DataController::open(dir.path() / "Tallowmere.sqlite").value();
        graph::Context& main = *controller->mainContext();
        for (int f = 0; f < kFolders; ++f) {
            Folder folder = Folder::insert(main);
            folder.setName("Folder " + std::to_string(f));
            folder.setSortValue(f + 1);
            for (int i = 0; i < kFeedsPerFolder; ++i) {
                Feed feed = Feed::insert(main);
                feed.setName("Feed " + std::to_string(f) + "." + std::to_string(i));
                feed.setUrl("https://feed" + std::to_string(f) + "-" + std::to_string(i) + ".example/rss");
                feed.setSortValue(i + 1);
                feed.setFolder(folder);
            }
        }
        (void)main.save();
        auto source = NodesSource::make(controller);  // orders and names every node
        (void)main.save();
        dispatch::MainQueue::shared().drain();
    }

    test::TempDir dir;
    std::shared_ptr<DataController> controller;
};

Tree& tree() {
    static Tree instance;
    return instance;
}

// Every top-level node and every folder's feeds, by count and child.
std::size_t walkOutline(NodesSource& source) {
    std::size_t visited = 0;
    const std::size_t topLevel = source.numberOfChildren(std::nullopt);
    for (std::size_t i = 0; i < topLevel; ++i) {
        graph::ObjectID node = source.child(i, std::nullopt);
        ++visited;
        const std::size_t children = source.numberOfChildren(node);
        for (std::size_t k = 0; k < children; ++k) {
            benchmark::DoNotOptimize(source.child(k, node));
            ++visited;
        }
    }
    return visited;
}

void BM_NodesSourceMake(benchmark::State& state) {
    auto& fixture = tree();
    for (auto _ : state) {
        auto source = NodesSource::make(fixture.controller);
        benchmark::DoNotOptimize(source->numberOfSections());
        state.PauseTiming();
        fixture.controller->mainContext()->rollback();  // drop the pass's unsaved renaming
        source.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_NodesSourceMake)->Unit(benchmark::kMillisecond);

void BM_NodesSourceFullOutline(benchmark::State& state) {
    auto& fixture = tree();
    auto source = NodesSource::make(fixture.controller);
    fixture.controller->mainContext()->rollback();
    std::size_t visited = 0;
    for (auto _ : state) visited = walkOutline(*source);
    if (visited != kFolders * (kFeedsPerFolder + 1)) state.SkipWithError("outline incomplete");
    state.counters["nodes"] = static_cast<double>(visited);
}
BENCHMARK(BM_NodesSourceFullOutline)->Unit(benchmark::kMillisecond);

// The outline walked once on a fresh source: the tree fetch plus the walk,
// with every folder loaded from the store for its count.
void BM_NodesSourceFetchAndOutline(benchmark::State& state) {
    auto& fixture = tree();
    auto source = NodesSource::make(fixture.controller);
    fixture.controller->mainContext()->rollback();
    for (auto _ : state) {
        source->reload();
        benchmark::DoNotOptimize(walkOutline(*source));
    }
}
BENCHMARK(BM_NodesSourceFetchAndOutline)->Unit(benchmark::kMillisecond);

}  // namespace
