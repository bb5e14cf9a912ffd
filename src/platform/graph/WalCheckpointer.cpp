#include "platform/graph/WalCheckpointer.h"

#include <sqlite3.h>

#include <cstring>

namespace tallowmere::graph {

namespace {
int onCommit(void* checkpointer, sqlite3*, const char*, int pages) {
    if (pages >= WalCheckpointer::pagesBeforeCheckpoint) static_cast<WalCheckpointer*>(checkpointer)->request();
    return SQLITE_OK;
}

// A connection learns that the file keeps a log only when it first reads
// it; until then a checkpoint on it copies nothing and reports no log.
bool readsTheLog(sqlite3* connection) {
    sqlite3_stmt* mode = nullptr;
    if (sqlite3_prepare_v2(connection, "PRAGMA journal_mode", -1, &mode, nullptr) != SQLITE_OK) return false;
    const bool wal = sqlite3_step(mode) == SQLITE_ROW &&
                     std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(mode, 0)), "wal") == 0;
    sqlite3_finalize(mode);
    return wal;
}
}  // namespace

std::unique_ptr<WalCheckpointer> WalCheckpointer::attach(sqlite3* writer, const std::string& path) {
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
        !readsTheLog(connection)) {
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
        checkpoint();
        lock.lock();
    }
}

void WalCheckpointer::checkpoint() {
    // Passive: never waits for readers or the writer; what it cannot copy
    // now the next ask copies. The last close of the file copies the rest.
    int logPages = 0, copiedPages = 0;
    if (sqlite3_wal_checkpoint_v2(connection_, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logPages, &copiedPages) != SQLITE_OK)
        return;
    // The writer starts the log over only when, as it begins, every page has
    // been copied; under a steady stream of saves a copy running beside them
    // seldom ends in time, and the log would grow without end. A long log
    // is therefore emptied here, when nothing else holds it at that moment
    // (this connection never waits, so neither does anyone for it; a busy
    // log is tried again at the next ask).
    if (logPages >= pagesBeforeTruncate && copiedPages == logPages)
        sqlite3_wal_checkpoint_v2(connection_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

}  // namespace tallowmere::graph
