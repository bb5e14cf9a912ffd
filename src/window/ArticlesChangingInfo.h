#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>

#include "platform/graph/ObjectID.h"

namespace tallowmere {

// One step of a batch of list changes: rows of one kind, merged while
// reports of that kind follow each other. Rows removed, updated or moved are
// counted in the list as it was before the batch, inserted rows in the list
// after it.
struct ArticlesChangingInfo {
    enum class Type { insert = 1, remove = 2, move = 3, update = 4 };

    Type type = Type::update;
    std::set<std::size_t> indexes;
    // Inserted rows: the article each new row holds, read when it was reported.
    std::map<std::size_t, graph::ObjectID> insertedIDs;
    // A move to another row (always a step of its own): its new row and article.
    std::optional<std::size_t> newRow;
    std::optional<graph::ObjectID> movedID;
};

}  // namespace tallowmere
