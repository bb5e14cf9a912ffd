// A full refresh of 1 000 feeds served on loopback with the main window open:
// the longest stall of the main thread, seen by a timer that asks to run every
// 5 ms, and the time from the command to the end of the refresh. The first
// refresh stores ten new articles per feed, the second finds nothing new.
// A small program (it needs a Qt application); run it on an X display or
// under QT_QPA_PLATFORM=offscreen, with QTWEBENGINE_DISABLE_SANDBOX=1 as root.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <time.h>
#include <string>

#include "platform/desktop/EventLoopMainQueue.h"
#include "sources/NodesSource.h"
#include "store/PersistentState.h"
#include "store/Preferences.h"
#include "support/LoopbackServer.h"
#include "support/XdgSandbox.h"
#include "support/ui/UiWait.h"
#include "window/MainSplitViewController.h"
#include "window/MainViewController.h"
#include "window/MainWindow.h"
#include "window/MainWindowController.h"

using namespace tallowmere;

namespace {

constexpr int kFeeds = 1000;
constexpr int kItemsPerFeed = 10;

std::string feedDocument(const std::string& name) {
    std::string items;
    const std::time_t base = std::time(nullptr) - 86400;
    for (int index = kItemsPerFeed - 1; index >= 0; --index) {
        const std::time_t date = base + index * 60;
        char text[64];
        std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", std::gmtime(&date));
        const std::string id = name + "-" + std::to_string(index);
        items += "<item><title>Story " + id + "</title><link>http://127.0.0.1/" + id + "</link><guid>" + id +
                 "</guid><pubDate>" + text + "</pubDate><description>" + std::string(400, 'w') +
                 "</description></item>";
    }
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + name +
           "</title><link>http://127.0.0.1/</link><description>d</description>" + items + "</channel></rss>";
}

double threadCPUMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Measures the longest gap between two firings of a 5 ms timer, and the
// longest time the main thread spent on the processor between two firings:
// on a loaded machine the first also holds the waits for a processor.
class StallProbe {
public:
    StallProbe() {
        timer_.setInterval(5);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            const double cpu = threadCPUMs();
            longest_ = std::max(longest_, now - last_);
            longestCPU_ = std::max(longestCPU_, cpu - lastCPU_);
            last_ = now;
            lastCPU_ = cpu;
        });
    }
    void start() {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        lastCPU_ = threadCPUMs();
        longestCPU_ = 0;
        timer_.start();
    }
    double longestMs() const { return static_cast<double>(longest_) / 1e6; }
    double longestCPUMs() const { return longestCPU_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    double lastCPU_ = 0;
    double longestCPU_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    test::XdgSandbox sandbox;
    sandbox.SetUp();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallowmere"));
    desktop::EventLoopMainQueue::install();

    test::LoopbackServer server;
    server.server().Get(R"(/f/(\d+)\.xml)", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(feedDocument("feed" + std::string(request.matches[1])), "application/rss+xml");
    });
    server.start();

    auto nodes = NodesSource::shared();
    nodes->beginAddingFeeds();
    for (int index = 0; index < kFeeds; ++index) {
        nodes->addFeed("Feed " + std::to_string(index), server.url("/f/" + std::to_string(index) + ".xml"),
                       std::nullopt, std::nullopt, false, NewsletterType::none);
    }
    nodes->endAddingFeeds();
    test::waitUntil([&] { return nodes->allFeeds().size() == kFeeds; }, 60000);

    PersistentState::shared()->setFirstLaunch(false);
    Preferences::shared()->setFeedsRefreshInterval(FeedsRefreshInterval::never);
    MainWindowController window;
    auto* split =
        dynamic_cast<MainSplitViewController*>(&window.contentViewController().splitViewController());
    window.window()->resize(1280, 800);
    window.showWindow();
    test::waitUntil([&] { return !split->isRefreshGroupBusy(); }, 10000);
    test::waitUntil([] { return false; }, 1000);

    StallProbe probe;
    for (const char* run : {"first refresh (10 000 new articles)", "second refresh (nothing new)"}) {
        bool ended = false;
        auto connection = QObject::connect(split, &MainSplitViewController::feedsRefreshDidEnd, [&] { ended = true; });
        QElapsedTimer elapsed;
        probe.start();
        elapsed.start();
        split->refreshFeeds();
        test::waitUntil([&] { return ended; }, 600000);
        const double seconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
        // The list and the sidebar take the last changes after the end.
        test::waitUntil([] { return false; }, 2000);
        std::printf("%s: %d feeds, end of refresh %.2f s, longest main-thread stall %.1f ms (%.1f ms on the processor; "
                    "target < 50 ms)\n",
                    run, kFeeds, seconds, probe.longestMs(), probe.longestCPUMs());
        QObject::disconnect(connection);
    }
    return 0;
}
