#pragma once

#include <vector>

#include "platform/graph/ObjectID.h"

namespace tallowmere::graph {

// What one save changed in the store, by object ID.
struct ChangeSet {
    std::vector<ObjectID> inserted;
    std::vector<ObjectID> updated;
    std::vector<ObjectID> deleted;
    bool empty() const { return inserted.empty() && updated.empty() && deleted.empty(); }
};

}  // namespace tallowmere::graph
