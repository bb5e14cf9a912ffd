#pragma once

#include <cstddef>
#include <optional>

#include "platform/graph/ObjectID.h"

namespace tallowmere {

// What an export asks of the node source: the sidebar tree in sidebar order,
// read on the main thread.
class OPMLNodeTree {
public:
    virtual ~OPMLNodeTree() = default;
    // The number of top-level nodes for no parent, of feeds for a folder.
    virtual std::size_t numberOfChildren(const std::optional<graph::ObjectID>& parent) = 0;
    // The ID of the child at an index below numberOfChildren(parent).
    virtual graph::ObjectID child(std::size_t index, const std::optional<graph::ObjectID>& parent) = 0;
};

}  // namespace tallowmere
