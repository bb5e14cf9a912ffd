// Start-up of the program on a store at the size users reach (1 000 feeds,
// 100 000 articles with their text, as bench/RealisticStore.h makes them): from starting the process to its main window on the
// screen, painted. "cold" first evicts the store's file from the page cache
// (the program and its libraries stay cached); "warm" starts again at once.
// Runs on its own virtual display when there is none.
//
//   bench_startup [folder [program...]]
// keeps the store in the folder for the next run; several programs (an
// unchanged build against a changed one) start in turns, so that the load of
// the machine falls on each alike.
#include <fcntl.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RealisticStore.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/dispatch/MainQueue.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

constexpr int kFeeds = 1'000;
constexpr int kArticles = 100'000;
constexpr int kRuns = 5;

void seed(const std::filesystem::path& storeFile) {
    dispatch::MainQueue::shared().adoptCurrentThread();
    auto controller = DataController::open(storeFile).value();
    bench::RealisticStoreShape shape;
    shape.feeds = kFeeds;
    shape.articlesPerFeed = kArticles / kFeeds;
    bench::fillRealisticStore(*controller, shape);
    // Half of the feeds in folders, as a sidebar of that size is kept.
    graph::Context& context = *controller->backgroundContext();
    context.performAndWait([&] {
        std::vector<Folder> folders;
        for (int index = 0; index < 20; ++index) {
            Folder folder = Folder::insert(context);
            folder.setName("Folder " + std::to_string(index));
            folders.push_back(folder);
        }
        auto request = Feed::fetchRequest();
        request.sortDescriptors = {{Node::Key::sortName, true, true}};
        const auto feeds = makeHandles<Feed>(context.fetch(request)->all());
        for (std::size_t index = 0; index < feeds.size(); ++index) {
            Feed feed = feeds[index];
            feed.setSortValue(static_cast<std::int64_t>(index + 1));
            if (index % 2) feed.setFolder(folders[index % folders.size()]);
        }
        if (!context.save().ok()) std::abort();
    });
    controller.reset();
    dispatch::MainQueue::shared().drain();
}

void evict(const std::filesystem::path& storeFile) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const auto path = storeFile.string() + suffix;
        const int descriptor = ::open(path.c_str(), O_RDONLY);
        if (descriptor < 0) continue;
        ::fdatasync(descriptor);
        ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
        ::close(descriptor);
    }
}

// Whether the process shows a window and the middle of the screen, where the
// window opens, is painted (the empty screen is black).
bool painted(xcb_connection_t* connection, qint64 pid) {
    auto atom = [connection](const char* name) {
        auto* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    };
    static const xcb_atom_t pidAtom = atom("_NET_WM_PID");
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    auto* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, screen->root), nullptr);
    bool found = false;
    const xcb_window_t* children = tree ? xcb_query_tree_children(tree) : nullptr;
    for (int index = 0; tree && !found && index < xcb_query_tree_children_length(tree); ++index) {
        const xcb_window_t window = children[index];
        auto* property = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        auto* attributes =
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
        if (property && xcb_get_property_value_length(property) == 4 &&
            *static_cast<const uint32_t*>(xcb_get_property_value(property)) == pid && attributes &&
            attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            // The window sits in the middle of the screen; read what the screen shows there.
            auto* image = xcb_get_image_reply(
                connection,
                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root,
                              static_cast<int16_t>(screen->width_in_pixels / 2),
                              static_cast<int16_t>(screen->height_in_pixels / 2), 1, 1, ~0u),
                nullptr);
            if (image) {
                const uint8_t* data = xcb_get_image_data(image);
                found = data[0] || data[1] || data[2];
            }
            std::free(image);
        }
        std::free(property);
        std::free(attributes);
    }
    std::free(tree);
    return found;
}

double startOnce(xcb_connection_t* connection, const QProcessEnvironment& environment, const char* program) {
    QProcess copy;
    copy.setProcessEnvironment(environment);
    copy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    copy.start(QString::fromLatin1(program), {});
    copy.waitForStarted();
    while (!painted(connection, copy.processId())) {
        if (clock.elapsed() > 60000 || copy.state() == QProcess::NotRunning) {
            std::fprintf(stderr, "the program did not show its window (after %lld ms, %s)\n",
                         static_cast<long long>(clock.elapsed()),
                         copy.state() == QProcess::NotRunning ? "it ended" : "still running");
            std::exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    std::printf("  %.0f ms\n", milliseconds);
    std::fflush(stdout);
    copy.terminate();
    copy.waitForFinished(15000);
    if (copy.state() != QProcess::NotRunning) copy.kill();
    copy.waitForFinished();
    return milliseconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        std::vector<char*> arguments = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                        const_cast<char*>("-s"),
                                        const_cast<char*>("-screen 0 1920x1080x24 -nolisten tcp")};
        for (int index = 0; index < argc; ++index) arguments.push_back(argv[index]);
        arguments.push_back(nullptr);
        ::execvp("xvfb-run", arguments.data());
        std::perror("xvfb-run");
        return 1;
    }
    QCoreApplication application(argc, argv);
    // A folder given as the argument is kept, with its store, for the next run.
    test::TempDir temporary;
    const std::filesystem::path root = argc > 1 ? std::filesystem::path(argv[1]) : temporary.path();
    for (const char* name : {"config", "data", "cache", "runtime"}) std::filesystem::create_directories(root / name);
    std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all);
    const auto storeFile = root / "data" / "Tallowmere" / "Tallowmere.sqlite";
    if (!std::filesystem::exists(storeFile)) {
        std::fprintf(stdout, "seeding %d feeds and %d articles...\n", kFeeds, kArticles);
        std::fflush(stdout);
        seed(storeFile);
    }
    {
        // No refresh at start (the feeds are made up) and not a first launch.
        defaults::UserDefaults settings(root / "config" / "Tallowmere" / "settings.json");
        settings.set("FirstLaunch", false);
        settings.set("FeedsRefreshInterval", -1);
        settings.synchronize();
    }
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(root.string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((root / "config").string()));
    environment.insert("XDG_DATA_HOME", QString::fromStdString((root / "data").string()));
    environment.insert("XDG_CACHE_HOME", QString::fromStdString((root / "cache").string()));
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString((root / "runtime").string()));
    environment.remove("TALLOWMERE_CLOUD");
    // The web engine refuses its sandbox to the superuser.
    if (::geteuid() == 0) environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    std::vector<const char*> programs;
    for (int index = 2; index < argc; ++index) programs.push_back(argv[index]);
    if (programs.empty()) programs.push_back(TALLOWMERE_PROGRAM);

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no connection to the display\n");
        return 1;
    }
    std::vector<std::vector<double>> cold(programs.size());
    std::vector<std::vector<double>> warm(programs.size());
    for (int run = 0; run < kRuns; ++run) {
        for (std::size_t program = 0; program < programs.size(); ++program) {
            evict(storeFile);
            cold[program].push_back(startOnce(connection, environment, programs[program]));
            warm[program].push_back(startOnce(connection, environment, programs[program]));
        }
    }
    for (std::size_t program = 0; program < programs.size(); ++program) {
        std::printf("%s\nstore %.1f MB; start-up to the painted main window, median of %d: cold %.0f ms, warm %.0f ms\n",
                    programs[program], static_cast<double>(std::filesystem::file_size(storeFile)) / 1e6, kRuns,
                    median(cold[program]), median(warm[program]));
        std::printf("cold runs:");
        for (double value : cold[program]) std::printf(" %.0f", value);
        std::printf(" ms\nwarm runs:");
        for (double value : warm[program]) std::printf(" %.0f", value);
        std::printf(" ms\n");
    }
    xcb_disconnect(connection);
    return 0;
}
