#pragma once

#include <vector>

#include "platform/graph/ObjectID.h"

namespace tallowmere::graph {
struct PropertyDescription;
}

namespace tallowmere::graph {

// What one save changed in the store, by object ID.
struct ChangeSet {
    std::vector<ObjectID> inserted;
    std::vector<ObjectID> updated;
    std::vector<ObjectID> deleted;
    // For each updated object, the stored properties (attributes and to-one
    // keys) that changed; empty when only its to-many relations changed.
    std::vector<std::vector<const PropertyDescription*>> changedProperties;
    bool empty() const { return inserted.empty() && updated.empty() && deleted.empty(); }
};

}  // namespace tallowmere::graph
