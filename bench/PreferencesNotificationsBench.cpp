// The notifications pane over a store of 1 000 feeds: the pane built,
// shown and painted until its table shows the first rows (target < 300 ms),
// and the table's reload after a feed is added, from the allFeeds change to
// the repainted page (target < 100 ms). Signed out: no cloud work.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/desktop/EventLoopMainQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "prefs/PreferencesNotificationsViewController.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "support/TempDir.h"
#include "OffscreenBenchMain.h"

using namespace tallowmere;

namespace {

constexpr int feedCount = 1000;

struct Store {
    test::TempDir folder;
    std::shared_ptr<DataController> data;
    std::shared_ptr<NodesSource> nodes;
    int added = 0;

    Store() {
        data = DataController::open(folder.path() / "Tallowmere.sqlite").value();
        nodes = NodesSource::make(data);
        NodesSource::replaceShared(nodes);
        nodes->beginAddingFeeds();
        for (int index = 0; index < feedCount; ++index) {
            nodes->addFeed("Feed " + std::to_string(index), "https://f" + std::to_string(index) + ".example/feed",
                           std::nullopt, std::nullopt, index % 4 == 0,
                           index % 10 == 0 ? NewsletterType::daily : NewsletterType::none);
        }
        nodes->endAddingFeeds();
    }
};

Store& store() {
    static auto* seeded = new Store();
    return *seeded;
}

struct ShownPane {
    QWidget window;
    PreferencesNotificationsViewController* pane = new PreferencesNotificationsViewController(&window);
    QImage image{580, 350, QImage::Format_ARGB32_Premultiplied};

    ShownPane() {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(pane->view());
        window.resize(pane->preferredContentSize());
        window.show();
        waitForRows(store().nodes->allFeeds().size());
    }
    void waitForRows(std::size_t rows) {
        dispatch::MainQueue::shared().runUntil([&] {
            QCoreApplication::processEvents();
            return pane->shownFeeds().size() == rows;
        });
        paint();
    }
    void paint() {
        QPainter painter(&image);
        window.render(&painter);
    }
};

void BM_ShowPaneWith1000Feeds(benchmark::State& state) {
    store();
    for (auto _ : state) {
        auto shown = std::make_unique<ShownPane>();
        benchmark::DoNotOptimize(shown->image.bits());
        state.PauseTiming();
        shown.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShowPaneWith1000Feeds)->Unit(benchmark::kMillisecond)->Iterations(15);

void BM_ReloadAfterAFeedIsAdded(benchmark::State& state) {
    ShownPane shown;
    Store& s = store();
    for (auto _ : state) {
        state.PauseTiming();
        const std::size_t rows = s.nodes->allFeeds().size() + 1;
        // The store's own work (insert, save, new list) is not the pane's.
        const std::string number = std::to_string(s.added++);
        s.nodes->addFeed("Added " + number, "https://added" + number + ".example/feed", std::nullopt, std::nullopt,
                         false, NewsletterType::none);
        state.ResumeTiming();
        shown.waitForRows(rows);
        benchmark::DoNotOptimize(shown.image.bits());
    }
}
BENCHMARK(BM_ReloadAfterAFeedIsAdded)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

int main(int argc, char** argv) { tallowmere::bench::runOffscreenBenchmarks(argc, argv); }
