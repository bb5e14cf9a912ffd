#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace tallowmere::graph {

// Copies the write-ahead log back into the database file on a thread and a
// connection of its own, so that the commit which fills the log does not
// also pay for the copy (with the store's one connection, and everyone
// waiting for it, held meanwhile). Commits only ask; asks that come while a
// copy runs are served by one more copy.
class WalCheckpointer {
public:
    // Log pages after which a commit asks for a copy (SQLite's own default).
    static constexpr int pagesBeforeCheckpoint = 1000;
    // Log pages after which a copied log is emptied as soon as no reader or
    // writer uses it.
    static constexpr int pagesBeforeTruncate = 4 * pagesBeforeCheckpoint;

    // Hooks the connection's commits; nothing when the file cannot be opened
    // a second time (then the connection copies after its commits itself).
    static std::unique_ptr<WalCheckpointer> attach(sqlite3* writer, const std::string& path);
    ~WalCheckpointer();
    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;

    void request();

private:
    explicit WalCheckpointer(sqlite3* connection);
    void run();
    void checkpoint();

    sqlite3* connection_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tallowmere::graph
