// The article list over 1 000 feeds and 100 000 articles: selecting "all" to
// the first painted page, paging, a background save of 100 new articles
// applied on the main thread, and the list model's memory. A small program
// (it needs a Qt application); run it under QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <vector>

#include "platform/desktop/EventLoopMainQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/SearchManager.h"
#include "store/DataController.h"
#include "support/TempDir.h"
#include "window/ArticlesListModel.h"
#include "window/ArticlesTableView.h"
#include "window/ArticlesViewController.h"

using namespace tallowmere;

namespace {

constexpr int kFeeds = 1000;
constexpr int kArticlesPerFeed = 100;

void fill(DataController& controller) {
    auto& context = *controller.backgroundContext();
    std::mt19937 random(20261210);
    std::uniform_real_distribution<double> age(0, 60 * 86400.0);
    const double now = graph::Date::now().seconds;
    const std::string text(600, 'x');
    context.performAndWait([&] {
        for (int f = 0; f < kFeeds; ++f) {
            Feed feed = Feed::insert(context);
            const std::string name = "feed " + std::to_string(f);
            feed.setName(name);
            feed.setSortName(name);
            feed.setUrl("https://feed" + std::to_string(f) + ".example/rss");
            for (int a = 0; a < kArticlesPerFeed; ++a) {
                Article article = Article::insert(context);
                article.setLink("https://feed" + std::to_string(f) + ".example/" + std::to_string(a));
                article.setTitle("Article " + std::to_string(a) + " of " + name + " with a title long enough to wrap");
                article.setDescriptionContent("A preview of article " + std::to_string(a) + ": " + text);
                article.setDate(graph::Date{now - age(random)});
                article.setFeed(feed);
                if (a % 2 == 0) article.setUnreadInFeed(feed);
            }
            if (f % 100 == 99 && !context.save().ok()) std::abort();
        }
    });
}

void settle(DataController& controller) {
    std::atomic<bool> done = false;
    controller.saveQueue().async([&] { dispatch::MainQueue::shared().async([&] { done = true; }); });
    while (!done) QApplication::processEvents(QEventLoop::AllEvents, 5);
    for (int i = 0; i < 3; ++i) {
        bool drained = false;
        dispatch::MainQueue::shared().async([&] { drained = true; });
        while (!drained) QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    desktop::EventLoopMainQueue::install();
    test::TempDir dir;
    auto opened = DataController::open(dir.path() / "data" / "Tallowmere.sqlite");
    if (!opened.ok()) return 1;
    auto controller = opened.value();
    std::fprintf(stderr, "filling %d feeds x %d articles...\n", kFeeds, kArticlesPerFeed);
    fill(*controller);
    settle(*controller);

    ArticlesSource source(controller, [] { return std::optional<std::vector<Feed>>(); });
    SearchManager search(dir.path() / "Tallowmere.index", controller);
    ArticlesViewController::Services services;
    services.source = &source;
    services.dataController = controller;
    services.searchManager = &search;
    ArticlesViewController list(services);
    QWidget* view = list.view();
    view->resize(380, 900);
    view->show();
    QApplication::processEvents();
    ArticlesTableView* table = list.articlesTableView();

    // Feeds of one node, to come from before each selection of "all".
    std::vector<Feed> oneFeed;
    controller->mainContext()->performAndWait([&] {
        auto request = Feed::fetchRequest();
        request.fetchLimit = 1;
        oneFeed = makeHandles<Feed>(controller->mainContext()->fetch(request)->all());
    });

    std::vector<double> selectAll;
    for (int round = 0; round < 7; ++round) {
        source.setFeedsInfo(ArticlesSourceFeedsInfo{oneFeed, std::nullopt});
        settle(*controller);
        QElapsedTimer timer;
        timer.start();
        bool reloaded = false;
        auto connection = QObject::connect(list.articlesModel(), &QAbstractItemModel::modelReset, [&] { reloaded = true; });
        source.setFeedsInfo(ArticlesSourceFeedsInfo{std::nullopt, std::nullopt});
        while (!reloaded) QApplication::processEvents();
        table->viewport()->repaint();
        selectAll.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QObject::disconnect(connection);
        settle(*controller);
    }
    std::printf("select all (%d rows) to first painted page: median %.1f ms\n", list.articlesModel()->rowCount(),
                median(selectAll));

    std::vector<double> pages;
    QScrollBar* bar = table->verticalScrollBar();
    for (int page = 0; page < 200; ++page) {
        QElapsedTimer timer;
        timer.start();
        bar->setValue(bar->value() + bar->pageStep() * 37);  // pages far apart: rows not read before
        table->viewport()->repaint();
        pages.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("paging (page of %d px): median %.2f ms, worst %.2f ms\n", bar->pageStep(), median(pages),
                *std::max_element(pages.begin(), pages.end()));

    std::vector<double> saves;
    std::vector<double> applies;
    std::vector<double> repaints;
    for (int round = 0; round < 5; ++round) {
        std::vector<Feed> feeds;
        auto& background = *controller->backgroundContext();
        background.performAndWait([&] {
            auto request = Feed::fetchRequest();
            request.fetchLimit = 10;
            feeds = makeHandles<Feed>(background.fetch(request)->all());
            const double now = graph::Date::now().seconds + round * 1000;
            for (int i = 0; i < 100; ++i) {
                Article article = Article::insert(background);
                article.setTitle("New " + std::to_string(round) + "/" + std::to_string(i));
                article.setDate(graph::Date{now + i});
                article.setFeed(feeds[static_cast<std::size_t>(i) % feeds.size()]);
                article.setUnreadInFeed(feeds[static_cast<std::size_t>(i) % feeds.size()]);
            }
        });
        bool applied = false;
        QElapsedTimer applyTimer;
        auto connection = QObject::connect(list.articlesModel(), &QAbstractItemModel::rowsAboutToBeInserted,
                                           [&] { if (!applyTimer.isValid()) applyTimer.start(); });
        double stepsMs = 0;
        auto done = QObject::connect(&list, &ArticlesViewController::batchApplied, [&] {
            applied = true;
            stepsMs = static_cast<double>(applyTimer.nsecsElapsed()) / 1e6;
        });
        background.performAndWait([&] {
            if (!background.save().ok()) std::abort();
        });
        QElapsedTimer timer;
        timer.start();
        while (!applied) QApplication::processEvents();
        table->viewport()->repaint();
        saves.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        applies.push_back(stepsMs);
        repaints.push_back(static_cast<double>(applyTimer.nsecsElapsed()) / 1e6 - stepsMs);
        QObject::disconnect(connection);
        QObject::disconnect(done);
        settle(*controller);
    }
    std::printf("background save of 100 articles, main thread from merge to repainted list: median %.1f ms "
                "(the list's row steps %.2f ms, its repaint %.2f ms; the rest is the store's merge and re-query)\n",
                median(saves), median(applies), median(repaints));

    const auto& ids = list.articlesModel()->articleIDs();
    std::printf("list model: %zu rows, %.2f MB of row IDs (capacity %zu)\n", ids.size(),
                static_cast<double>(ids.capacity() * sizeof(graph::ObjectID)) / (1024.0 * 1024.0), ids.capacity());
    return 0;
}
