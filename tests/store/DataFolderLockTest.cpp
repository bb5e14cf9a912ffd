#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include "store/Article.h"
#include "store/DataController.h"
#include "store/DataDirectory.h"
#include "store/DataFolderLock.h"
#include "store/Feed.h"
#include "platform/graph/Store.h"
#include "store/StoreTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

extern char** environ;

namespace tallowmere::test {
namespace {

using namespace std::chrono_literals;

// A store_copy process with pipes to its standard input and output.
class CopyProcess {
public:
    CopyProcess(const std::filesystem::path& dataHome, std::vector<std::string> arguments) {
        int input[2], output[2];
        EXPECT_EQ(::pipe2(input, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(output, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        arguments.insert(arguments.begin(), {TALLOWMERE_STORE_COPY, dataHome.string()});
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, TALLOWMERE_STORE_COPY, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        input_ = input[1];
        output_ = output[0];
    }
    ~CopyProcess() {
        closeInput();
        ::close(output_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // The next line the process prints, or "" when none comes in time.
    std::string readLine(std::chrono::milliseconds limit = 30s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left <= 0ms) return {};
            pollfd ready{output_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return {};
            char chunk[256];
            const ssize_t count = ::read(output_, chunk, sizeof chunk);
            if (count <= 0) return {};
            buffer_.append(chunk, static_cast<std::size_t>(count));
        }
    }
    void closeInput() {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
    }
    // The exit status, or -1 when the process was killed by a signal.
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffer_;
};

std::int64_t countRows(const std::filesystem::path& store, const std::string& sql) {
    sqlite3* db = nullptr;
    std::int64_t count = -1;
    if (sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

TEST(DataFolderLock, ASecondCopyLeavesTheStoreAloneAndTheFirstSavesEverything) {
    TempDir home;
    constexpr int articles = 600;
    CopyProcess first(home.path(), {"write", std::to_string(articles)});
    ASSERT_EQ(first.readLine(), "claimed");

    // Started while the first is saving.
    CopyProcess second(home.path(), {"write", "10"});
    EXPECT_EQ(second.wait(), DataController::anotherCopyExitStatus);
    EXPECT_EQ(first.readLine(), "written");
    first.closeInput();
    EXPECT_EQ(first.wait(), 0) << "the first copy never stops";

    const auto store = home.path() / "Tallowmere" / "Tallowmere.sqlite";
    EXPECT_EQ(countRows(store, "SELECT count(*) FROM node"), 1) << "only the first copy wrote";
    EXPECT_EQ(countRows(store, "SELECT count(*) FROM article"), articles) << "every save of the first copy landed";
}

TEST(DataFolderLock, HeldUntilTheHolderEndsHoweverItEnds) {
    TempDir home;
    const auto folder = home.path() / "Tallowmere";
    for (bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed" : "ended");
        CopyProcess holder(home.path(), {"hold"});
        ASSERT_EQ(holder.readLine(), "claimed");
        auto refused = DataFolderLock::acquire(folder);
        ASSERT_TRUE(std::holds_alternative<DataFolderLockFailure>(refused));
        const auto& failure = std::get<DataFolderLockFailure>(refused);
        EXPECT_TRUE(failure.heldByAnotherCopy);
        EXPECT_NE(failure.message.find(folder.string()), std::string::npos) << failure.message;
        if (killed) {
            holder.kill();
        } else {
            holder.closeInput();
            EXPECT_EQ(holder.wait(), 0);
        }
        auto claimed = DataFolderLock::acquire(folder);
        ASSERT_TRUE(std::holds_alternative<std::unique_ptr<DataFolderLock>>(claimed));

        // While this process holds it, a copy started now is turned away.
        CopyProcess late(home.path(), {"hold"});
        EXPECT_EQ(late.wait(), DataController::anotherCopyExitStatus);
    }
}

TEST(DataFolderLock, AFolderThatCannotBeMadeIsNoOtherCopy) {
    TempDir home;
    const auto blocker = home.path() / "a-file";
    std::ofstream(blocker) << "not a folder";
    auto refused = DataFolderLock::acquire(blocker / "Tallowmere");
    ASSERT_TRUE(std::holds_alternative<DataFolderLockFailure>(refused));
    EXPECT_FALSE(std::get<DataFolderLockFailure>(refused).heldByAnotherCopy);
}

using BusyStoreTest = StoreTest;

// Another connection holds the write lock through a long write; the save
// waits, tries again and lands once the lock is free.
TEST_F(BusyStoreTest, ASaveThatMeetsABusyStoreTriesAgainAndLands) {
    {
        auto& store = controller->persistentContainer().store();
        std::lock_guard lock(store.mutex());
        store.db().setBusyTimeout(20ms);
    }
    controller->setSaveRetry(SaveRetry{1000, 5ms, 20ms});
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(storePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    LogCapture log;
    main().performAndWait([&] {
        auto feed = Feed::insert(main());
        feed.setName("Saved while busy");
        feed.setUrl("https://busy.example/feed.xml");
    });
    // Lets go once the save has met the busy store (the save itself waits
    // on this, the main thread).
    std::thread releaser([&] {
        for (bool seen = false; !seen; std::this_thread::sleep_for(5ms))
            for (const auto& line : log.lines()) seen = seen || line.find("store busy") != std::string::npos;
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    });
    std::atomic<bool> saved = false;
    controller->save([&] { saved = true; });
    const bool landed = runMainUntil([&] { return saved.load(); });
    releaser.join();
    ASSERT_TRUE(landed);
    EXPECT_EQ(countRows(storePath(), "SELECT count(*) FROM node WHERE name = 'Saved while busy'"), 1);
}

}  // namespace
}  // namespace tallowmere::test
