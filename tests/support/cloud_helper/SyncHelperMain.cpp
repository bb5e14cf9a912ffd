// A second device for the sync tests: the real core of the program in a
// process of its own, with the store in its XDG data folder and the cloud
// that TALLOWMERE_CLOUD names, started as the program starts its managers.
//
//   tallowmere_sync_helper seed LINK...      stores unread articles of one feed
//   tallowmere_sync_helper read LINK...      marks them read
//   tallowmere_sync_helper upload            uploads the read and starred state
//   tallowmere_sync_helper download          downloads and applies it
// Each command then prints "read: LINK..." and "starred: LINK..." on
// standard output. Exit status 0 on success.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cloud/CloudManagers.h"
#include "cloud/CloudSyncManager.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/SeededArticles.h"

using namespace tallowmere;

namespace {

bool await(const std::function<void(std::function<void()>)>& call) {
    std::atomic<bool> done = false;
    call([&] { done = true; });
    return dispatch::MainQueue::shared().runUntil([&] { return done.load(); }, std::chrono::seconds(60));
}

void printState(graph::Context& context) {
    std::string read = "read:", starred = "starred:";
    context.performAndWait([&] {
        auto request = Article::fetchRequest();
        request.sortDescriptors = {{Article::Key::link, true, false}};
        for (const Article& article : makeHandles<Article>(context.fetch(request)->all())) {
            if (article.isRead()) read += " " + article.link().value_or("");
            if (article.isStarred()) starred += " " + article.link().value_or("");
        }
    });
    std::printf("%s\n%s\n", read.c_str(), starred.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    dispatch::MainQueue::shared().adoptCurrentThread();
    if (auto error = DataController::openShared()) return 3;
    CloudManagers::installShared();
    const std::string command = argv[1];
    const std::vector<std::string> links(argv + 2, argv + argc);
    auto& context = *DataController::shared()->backgroundContext();
    bool finished = true;
    if (command == "seed") {
        if (!test::seedUnreadArticles(context, links)) return 1;
    } else if (command == "read") {
        finished = await([&](auto done) { ArticlesSource::shared().setRead(test::articlesWithLinks(context, links), true, done); });
    } else if (command == "upload") {
        finished = await([](auto done) { CloudSyncManager::shared()->uploadSyncInfo(false, done); });
    } else if (command == "download") {
        finished = await([](auto done) { CloudSyncManager::shared()->downloadSyncInfo(done); });
    } else {
        return 2;
    }
    printState(context);
    std::fflush(stdout);
    // The start-up's subscriptions may still be under way on the cloud's
    // threads; a device that ends here simply stops, without tearing the
    // shared services down beneath them.
    std::_Exit(finished ? 0 : 1);
}
