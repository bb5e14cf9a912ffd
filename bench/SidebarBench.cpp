// The sidebar at 1 000 feeds in 50 folders: building the tree and painting
// the first page, opening every folder, reloading the smart groups, and
// painting a full page of rows (which reads only the model's snapshot); and
// change sets reaching the sidebar: 100 feeds added and 100 deleted in one
// save, and a folder of 50 feeds deleted, each from the merge of the save
// into the main context to the end of the outline's steps (main thread).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include "platform/desktop/EventLoopMainQueue.h"
#include "OffscreenBenchMain.h"
#include "window/FeedsCellView.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/FeedsViewController.h"
#include "window/SidebarTestSupport.h"

using namespace tallowmere;

namespace {

constexpr int folders = 50;
constexpr int feedsPerFolder = 20;

test::SidebarStore* seededStore() {
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
}

test::SidebarStore& store() {
    static test::SidebarStore* seeded = seededStore();
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

// A sidebar of its own over a store of its own: these measures change it.
struct Delivery {
    test::SidebarStore* s = seededStore();
    FeedsViewController controller{s->services()};
    int applied = 0;
    int feedNumber = 0;
    Delivery() {
        controller.view();
        QObject::connect(&controller, &FeedsViewController::changesApplied, [this] { ++applied; });
        graph::Context& main = *s->controller->mainContext();
        main.performAndWait([&] { (void)main.save(); });
        waitForChanges();
    }
    // Until every change set of the saves so far has reached the outline.
    void waitForChanges() {
        s->settle();
        const int before = applied;
        dispatch::MainQueue::shared().drain();
        if (applied == before) QCoreApplication::processEvents();
    }
    // Runs the main queue until one more change set has been applied.
    void applyNextChangeSet() {
        const int before = applied;
        while (applied == before) dispatch::MainQueue::shared().drain();
    }
    std::vector<Folder> folders() {
        std::vector<Folder> found;
        graph::Context& background = *s->controller->backgroundContext();
        for (const graph::ObjectID& id : controller.outlineModel()->storeTree().root)
            background.performAndWait([&] {
                if (auto folder = Folder::from(background.object(id))) found.push_back(*folder);
            });
        return found;
    }
};

Delivery& delivery() {
    static Delivery* d = new Delivery();
    return *d;
}

// 100 feeds deleted and 100 added (two of each per folder) in one save.
void BM_ChangeSetOf100InsertsAnd100Deletes(benchmark::State& state) {
    Delivery& d = delivery();
    graph::Context& background = *d.s->controller->backgroundContext();
    for (auto _ : state) {
        state.PauseTiming();
        const FeedsOutlineModel::Tree tree = d.controller.outlineModel()->storeTree();
        const std::vector<Folder> folders = d.folders();
        background.performAndWait([&] {
            for (const Folder& folder : folders) {
                const auto& feeds = tree.children.at(folder.objectID());
                for (std::size_t k = 0; k < 2 && k < feeds.size(); ++k)
                    background.deleteObject(background.object(feeds[k * feeds.size() / 2]));
                for (int k = 0; k < 2; ++k) {
                    Feed feed = Feed::insert(background);
                    const std::string name = "Added " + std::to_string(++d.feedNumber);
                    feed.setName(name);
                    feed.setUrl("https://added-" + std::to_string(d.feedNumber) + ".example/feed");
                    feed.setFolder(folder);
                    feed.updateSortName();
                }
            }
            (void)background.save();
        });
        state.ResumeTiming();
        d.applyNextChangeSet();
    }
    state.counters["rows"] = static_cast<double>(d.controller.outlineModel()->storeTree().root.size());
}
BENCHMARK(BM_ChangeSetOf100InsertsAnd100Deletes)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_DeleteFolderOf50Feeds(benchmark::State& state) {
    Delivery& d = delivery();
    graph::Context& background = *d.s->controller->backgroundContext();
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<Folder> folder;
        background.performAndWait([&] {
            folder = Folder::insert(background);
            folder->setName("Short-lived " + std::to_string(++d.feedNumber));
            folder->setSortValue(1);
            folder->updateSortName();
            for (int k = 0; k < 50; ++k) {
                Feed feed = Feed::insert(background);
                feed.setName("In it " + std::to_string(k));
                feed.setUrl("https://short-" + std::to_string(d.feedNumber) + "-" + std::to_string(k) + ".example/feed");
                feed.setFolder(folder);
                feed.updateSortName();
            }
            (void)background.save();
        });
        d.applyNextChangeSet();
        background.performAndWait([&] {
            for (const Feed& feed : folder->feeds()) background.deleteObject(feed.object());
            background.deleteObject(folder->object());
            (void)background.save();
        });
        state.ResumeTiming();
        d.applyNextChangeSet();
    }
}
BENCHMARK(BM_DeleteFolderOf50Feeds)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) { tallowmere::bench::runOffscreenBenchmarks(argc, argv); }
