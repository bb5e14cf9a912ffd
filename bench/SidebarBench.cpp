// The sidebar at 1 000 feeds in 50 folders: building the tree and painting
// the first page, opening every folder, reloading the smart groups, and
// painting a full page of rows (which reads only the model's snapshot).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include "platform/desktop/EventLoopMainQueue.h"
#include "support/XdgSandbox.h"
#include "window/FeedsCellView.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/SidebarTestSupport.h"

using namespace tallowmere;

namespace {

constexpr int folders = 50;
constexpr int feedsPerFolder = 20;

test::SidebarStore& store() {
    static test::SidebarStore* seeded = [] {
        auto* s = new test::SidebarStore();
        s->nodes->beginAddingFeeds();
        for (int f = 0; f < folders; ++f) {
            Folder folder = s->nodes->addFolder("Folder " + std::to_string(f));
            for (int k = 0; k < feedsPerFolder; ++k) {
                s->nodes->addFeed("Feed " + std::to_string(f) + "." + std::to_string(k),
                                  "https://f" + std::to_string(f) + "-" + std::to_string(k) + ".example/feed",
                                  std::nullopt, folder.objectID(), false, NewsletterType::none);
            }
        }
        s->nodes->endAddingFeeds();
        s->settle();
        int n = 0;
        for (const Feed& feed : s->nodes->allFeeds()) {
            if (n++ % 2 == 0) s->addUnreadArticles(feed, 3);
        }
        return s;
    }();
    return *seeded;
}

struct Outline {
    FeedsOutlineModel model{store().nodes, *store().articles, store().controller};
    FeedsOutlineView view;
    Outline() {
        view.setModel(&model);
        view.setItemDelegate(new FeedsCellView(*store().articles, &view));
        view.resize(260, 800);
        view.show();
    }
    void paintPage(QImage& image) {
        QPainter painter(&image);
        view.viewport()->render(&painter);
    }
};

void BM_ModelBuildAndFirstPaint(benchmark::State& state) {
    store();
    QImage image(260, 800, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        Outline outline;
        outline.paintPage(image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_ModelBuildAndFirstPaint)->Unit(benchmark::kMillisecond);

void BM_ModelBuild(benchmark::State& state) {
    store();
    for (auto _ : state) {
        FeedsOutlineModel model(store().nodes, *store().articles, store().controller);
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(BM_ModelBuild)->Unit(benchmark::kMillisecond);

// Each folder's first opening reads its feeds' icons.
void BM_ExpandEveryFolderAndPaint(benchmark::State& state) {
    QImage image(260, 800, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        state.PauseTiming();
        auto outline = std::make_unique<Outline>();
        outline->paintPage(image);
        state.ResumeTiming();
        outline->view.expandAll();
        outline->view.scrollTo(outline->model.index(40, 0));
        outline->paintPage(image);
        benchmark::DoNotOptimize(image.bits());
        state.PauseTiming();
        outline.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ExpandEveryFolderAndPaint)->Unit(benchmark::kMillisecond);

void BM_ReloadRows(benchmark::State& state) {
    Outline outline;
    for (auto _ : state) outline.model.reloadRows();
}
BENCHMARK(BM_ReloadRows)->Unit(benchmark::kMillisecond);

void BM_PaintFullPage(benchmark::State& state) {
    Outline outline;
    outline.view.expandAll();
    outline.view.scrollTo(outline.model.index(30, 0));
    QImage image(260, 800, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        outline.paintPage(image);
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["rows"] = 800.0 / 28;
}
BENCHMARK(BM_PaintFullPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    test::XdgSandbox sandbox;
    sandbox.SetUp();
    QApplication application(argc, argv);
    desktop::EventLoopMainQueue::install();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sandbox.TearDown();
    std::_Exit(0);  // the seeded store lives to the end; skip its teardown
}
