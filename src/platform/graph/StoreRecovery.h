#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include "platform/graph/GraphError.h"
#include "platform/graph/ModelDescription.h"

namespace tallowmere::graph {

// What the check at open found in a store file.
struct StoreCheck {
    // How much of the file is read.
    enum class Depth {
        // The header and the schema: enough to find a file that is empty,
        // not a database, or without a readable schema, in a few pages.
        schema,
        // Every page and record as well.
        full,
    };
    enum class State {
        missing,  // no file yet: a fresh store is made
        healthy,
        // Damaged (failed the integrity check, empty, not a database) or not
        // readable at all; either way the file cannot serve as the store.
        damaged,
    };
    State state = State::missing;
    std::string detail;
};

// How a damaged store was replaced.
struct StoreRecoveryReport {
    std::string reason;       // what the check found
    std::string movedAsideTo;  // the damaged file, kept whole under this name
    // Rows carried into the fresh store, per table.
    std::map<std::string, std::int64_t> rowsCarriedOver;
};

// Finding and replacing a damaged store file. A damaged file is never
// overwritten or deleted: it is renamed aside whole, with its -wal and -shm
// companions, and what can still be read from a scratch copy of it is
// carried into a fresh store.
class StoreRecovery {
public:
    // A quick integrity check (SQLite's quick_check: every page and record,
    // without cross-checking indexes against their tables), or at Depth::schema
    // only the header and schema are read. A store that is busy in another
    // connection counts as healthy: busy is not damage.
    static StoreCheck check(const std::string& path, StoreCheck::Depth depth = StoreCheck::Depth::full);

    // Renames the file and its -wal and -shm to "<path>.damaged-<UTC time>"
    // (a number appended when that name is taken) and returns the new name.
    static Result<std::string> moveAside(const std::string& path,
                                         std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

    // Moves the damaged store at `path` aside, creates a fresh store there with
    // the model's schema and copies into it every row that can still be read
    // (keys, store identifier and relations as they were; relations to rows
    // that were lost are cleared, or the row dropped where its owner's
    // deletion would have taken it along).
    static Result<StoreRecoveryReport> recover(const std::string& path, const ModelDescription& model,
                                               std::string reason);
};

}  // namespace tallowmere::graph
