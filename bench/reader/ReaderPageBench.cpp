// Times the reader: building the page of a 100 KB article, and from the
// selection of such an article to its page loaded in a warm web engine.
// Needs a display: without one it runs itself again under xvfb-run.
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "platform/desktop/EventLoopMainQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "reader/ReaderPageBuilder.h"
#include "reader/ReaderSchemeHandler.h"
#include "reader/ReaderView.h"
#include "reader/ReaderViewController.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "themes/ThemesManager.h"

using namespace tallowmere;

namespace {

std::string articleText(std::size_t bytes) {
    std::string text;
    while (text.size() < bytes)
        text += "The harbour master counted the boats again before the tide turned, and wrote the number in his book.\n";
    return text;
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms) sum += v;
    std::printf("%-48s n=%zu median=%.2f ms mean=%.2f ms p90=%.2f ms max=%.2f ms\n", what, ms.size(), ms[ms.size() / 2],
                sum / static_cast<double>(ms.size()), ms[ms.size() * 9 / 10], ms.back());
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking --disable-component-update", 1);
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }
    const std::filesystem::path home = std::filesystem::temp_directory_path() / ("reader-bench-" + std::to_string(getpid()));
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    std::filesystem::create_directories(home / "cache");
    ReaderSchemeHandler::registerScheme();
    QApplication app(argc, argv);
    desktop::EventLoopMainQueue::install();

    auto opened = DataController::open(home / "store" / "Tallowmere.sqlite");
    if (!opened.ok()) return 1;
    DataController::replaceShared(opened.value());
    graph::Context& main = *opened.value()->mainContext();
    auto feed = Feed::insert(main);
    feed.setName("Bench Feed");
    feed.setUrl("https://bench.example/feed");
    // The article's size in KB may be given as the first argument.
    const std::size_t kilobytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const std::string text = articleText(kilobytes * 1024);
    std::vector<Article> articles;
    for (int i = 0; i < 41; ++i) {
        auto article = Article::insert(main);
        article.setFeed(feed);
        article.setTitle("Article " + std::to_string(i));
        article.setDate(graph::Date{1'700'000'000.0 + i});
        article.setTextContent(text);
        // An inline top image, so that no prefetch or lookup runs: the time is the reader's own.
        article.setTopImage("data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7");
        articles.push_back(article);
    }
    if (!main.save().ok()) return 1;

    const Theme& theme = *ThemesManager::shared().theme();
    std::vector<double> builds;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        const auto page = ReaderPageBuilder::build(theme, articles[static_cast<std::size_t>(i) % articles.size()],
                                                   std::nullopt, true, true);
        builds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!page) return 1;
    }
    std::printf("article of %zu KB\n", kilobytes);
    report("page build", builds);

    ReaderViewController controller;
    controller.view()->resize(1000, 800);
    controller.view()->show();
    QSignalSpy ended(controller.readerView(), &ReaderView::loadEnded);
    std::vector<double> loads;
    for (std::size_t i = 0; i < articles.size(); ++i) {
        ended.clear();
        QElapsedTimer timer;
        timer.start();
        controller.didSelectArticle(articles[i]);
        if (!waitFor([&] { return ended.count() > 0; }, 20000)) return 1;
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (i > 0) loads.push_back(ms);  // the first warms the engine
        else std::printf("%-48s %.2f ms\n", "first selection (cold engine)", ms);
    }
    report("selection to page loaded, warm engine", loads);
    controller.didSelectArticle(std::nullopt);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}
