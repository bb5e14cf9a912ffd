// A copy of the program's store side, for tests that run two processes on one
// data folder. Usage: store_copy <data home> <mode> [count]
//   write <n>  claims the data folder, prints "claimed", then stores n
//              articles in saves of ten, pausing a little between saves,
//              prints "written" once all have landed and exits 0 when its
//              standard input closes;
//   hold       claims the data folder, prints "claimed" and waits until its
//              standard input closes.
// A copy that finds the folder held exits as the program does (the exit
// status for another running copy), leaving the store alone.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include <unistd.h>

#include "platform/dispatch/MainQueue.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"

using namespace tallowmere;

namespace {

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void waitForEndOfInput() {
    std::string line;
    while (std::getline(std::cin, line)) {
    }
}

int write(int count) {
    auto controller = DataController::shared();
    say("claimed");
    auto& main = *controller->mainContext();
    std::optional<Feed> feed;
    main.performAndWait([&] {
        feed = Feed::insert(main);
        feed->setName("Written by " + std::to_string(::getpid()));
        feed->setUrl("https://copy.example/" + std::to_string(::getpid()));
    });
    for (int first = 0; first < count; first += 10) {
        main.performAndWait([&] {
            for (int index = first; index < std::min(first + 10, count); ++index) {
                auto article = Article::insert(main);
                article.setTitle("Article " + std::to_string(index));
                article.setLink("https://copy.example/" + std::to_string(index));
                article.setTextContent(std::string(2000, 'x'));
                article.setFeed(*feed);
                article.setUnreadInFeed(*feed);
            }
        });
        std::atomic<bool> saved = false;
        controller->save([&] { saved = true; });
        if (!dispatch::MainQueue::shared().runUntil([&] { return saved.load(); }, std::chrono::seconds(30))) return 2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    say("written");
    waitForEndOfInput();
    return 0;
}

int hold() {
    DataController::shared();
    say("claimed");
    waitForEndOfInput();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 64;
    ::setenv("XDG_DATA_HOME", argv[1], 1);
    dispatch::MainQueue::shared().adoptCurrentThread();
    const std::string mode = argv[2];
    if (mode == "write" && argc == 4) return write(std::atoi(argv[3]));
    if (mode == "hold") return hold();
    return 64;
}
