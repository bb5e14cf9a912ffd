#include "platform/graph/WalCheckpointer.h"

#include <sqlite3.h>

namespace tallowmere::graph {

namespace {
int onCommit(void* checkpointer, sqlite3*, const char*, int pages) {
    if (pages >= WalCheckpointer::pagesBeforeCheckpoint) static_cast<WalCheckpointer*>(checkpointer)->request();
    return SQLITE_OK;
}
}  // namespace

std::unique_ptr<WalCheckpointer> WalCheckpointer::attach(sqlite3* writer, const std::string& path) {
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(connection);
        return nullptr;
    }
    auto checkpointer = std::unique_ptr<WalCheckpointer>(new WalCheckpointer(connection));
    // Replaces the connection's own copying after commits.
    sqlite3_wal_hook(writer, onCommit, checkpointer.get());
    return checkpointer;
}

WalCheckpointer::WalCheckpointer(sqlite3* connection) : connection_(connection), thread_([this] { run(); }) {}

WalCheckpointer::~WalCheckpointer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    sqlite3_close_v2(connection_);
}

void WalCheckpointer::request() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
    }
    wake_.notify_one();
}

void WalCheckpointer::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || stopping_; });
        if (stopping_) return;
        requested_ = false;
        lock.unlock();
        // Passive: never waits for readers or the writer; what it cannot copy
        // now the next ask copies. The last close of the file copies the rest.
        sqlite3_wal_checkpoint_v2(connection_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        lock.lock();
    }
}

}  // namespace tallowmere::graph
