// A device of the feed-list tests: the program's core in a process of its
// own, with the store and settings in its XDG folders and the cloud that
// TALLOWMERE_CLOUD names, started as the program starts its managers.
//
//   tallowmere_feedlist_helper [--cloud-off] [--clock-offset=SECONDS] COMMAND
//     add URL [FOLDER]   adds the feed as the add-feed action does
//     delete URL         removes the feed as the sidebar does
//     sync               the start-up feed-list sync
//     list               nothing more
// Each run then prints the stored feeds, one entry of the cloud feed list
// per line after "feed: ", sorted. Exit status 0 on success.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "cloud/CloudManagers.h"
#include "cloud/CloudFeedEntryText.h"
#include "cloud/ContainerCloudUserManager.h"
#include "feeds/FeedsManager.h"
#include "foundation/URL.h"
#include "platform/cloud/Container.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "store/Preferences.h"

using namespace tallowmere;

namespace {

constexpr auto answerTime = std::chrono::seconds(90);

bool await(const std::function<void(std::function<void()>)>& call) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    call([done] { *done = true; });
    return dispatch::MainQueue::shared().runUntil([&] { return done->load(); }, answerTime);
}

// Whether the account's identity record lists the URL in its feed list.
std::optional<bool> recordLists(const std::string& url) {
    auto answer = std::make_shared<std::promise<bool>>();
    auto listed = std::make_shared<bool>(false);
    cloud::Container::shared()->publicDatabase()->query(
        cloud::Query(ContainerCloudUserManager::guidRecordType), {},
        [listed, url](const cloud::Record& record) {
            const auto feeds = record.get<std::vector<std::string>>(ContainerCloudUserManager::GUIDKey::feeds);
            if (!feeds) return;
            for (const auto& entry : *feeds) {
                if (auto parsed = CloudFeedEntryText::parse(entry); parsed && parsed->urlString == url) *listed = true;
            }
        },
        [answer, listed](auto, std::optional<cloud::Error> error) { answer->set_value(!error && *listed); });
    auto future = answer->get_future();
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) return std::nullopt;
    return future.get();
}

bool deleteFeed(const std::string& urlString) {
    const auto url = URL::parse(urlString);
    const auto feed = url ? NodesSource::shared()->feed(*url) : std::nullopt;
    if (!feed) return false;
    FeedsManager::shared().deleteNode(*feed, true);
    // The rewrite of the cloud lists reports to nobody: wait for its effect.
    const auto deadline = std::chrono::steady_clock::now() + answerTime;
    while (std::chrono::steady_clock::now() < deadline) {
        dispatch::MainQueue::shared().drain();
        if (recordLists(urlString) == false) return true;
    }
    return false;
}

void printFeeds() {
    auto entries = ContainerCloudUserManager::feedListEntries(NodesSource::shared()->allFeeds(), true);
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) std::printf("feed: %s\n", entry.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    bool cloudOn = true;
    std::chrono::seconds clockOffset{0};
    while (!arguments.empty() && arguments.front().starts_with("--")) {
        const std::string option = arguments.front();
        arguments.erase(arguments.begin());
        if (option == "--cloud-off") {
            cloudOn = false;
        } else if (option.starts_with("--clock-offset=")) {
            clockOffset = std::chrono::seconds(std::stoll(option.substr(15)));
        } else {
            return 2;
        }
    }
    if (arguments.empty()) return 2;
    dispatch::MainQueue::shared().adoptCurrentThread();
    if (auto error = DataController::openShared()) return 3;
    Preferences::shared()->setCloudEnabled(cloudOn);
    CloudManagers::installShared();
    auto user = std::dynamic_pointer_cast<ContainerCloudUserManager>(CloudUserManager::shared());
    user->setClock([clockOffset] { return std::chrono::system_clock::now() + clockOffset; });
    FeedsManager& feeds = FeedsManager::shared();  // made on the main thread, as the program does

    const std::string command = arguments.front();
    bool finished = true;
    if (command == "add" && arguments.size() >= 2) {
        std::optional<std::string> folder;
        if (arguments.size() >= 3) folder = arguments[2];
        AddFeedOptions options;
        options.saveToCloud = true;
        std::optional<FeedsManagerError> failure;
        finished = await([&](auto done) {
            feeds.addFeed(arguments[1], folder, options, [&failure, done](bool, std::optional<FeedsManagerError> error) {
                failure = error;
                done();
            });
        });
        finished = finished && !failure;
    } else if (command == "delete" && arguments.size() == 2) {
        finished = deleteFeed(arguments[1]);
    } else if (command == "sync") {
        finished = await([&](auto done) { user->syncFeeds(done); });
    } else if (command != "list") {
        return 2;
    }
    // Saves of the feeds added may still be on their way to the main context.
    for (int round = 0; round < 3; ++round) {
        DataController::shared()->backgroundContext()->performAndWait([] {});
        dispatch::MainQueue::shared().drain();
    }
    printFeeds();
    Preferences::shared()->defaults().synchronize();
    std::fflush(stdout);
    // Work the start-up began may still be under way on the cloud's threads;
    // the device simply stops, without tearing the shared services down beneath it.
    std::_Exit(finished ? 0 : 1);
}
