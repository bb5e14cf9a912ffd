#pragma once

#include <cstddef>
#include <optional>

#include "platform/graph/FetchedResultsController.h"
#include "platform/graph/ObjectID.h"

namespace tallowmere {

// A delegate that shows the nodes as an outline (folders holding feeds). A
// NodesSourceDelegate adopts it too when it wants the item changes; the
// source tests for it at each change.
class NodesSourceOutlineDelegate {
public:
    virtual ~NodesSourceOutlineDelegate() = default;

    // One node was inserted, deleted, moved or updated, in outline
    // coordinates: the index among its parent's children and the parent
    // folder's ID (nothing for the top level). The old place is absent for
    // an insert, the new place for a delete.
    virtual void nodesSourceDidChangeItem(std::optional<std::size_t> index, std::optional<graph::ObjectID> parent,
                                          graph::ResultsChange type, std::optional<std::size_t> newIndex,
                                          std::optional<graph::ObjectID> newParent) = 0;
};

}  // namespace tallowmere
