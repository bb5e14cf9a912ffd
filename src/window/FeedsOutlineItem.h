#pragma once

#include <variant>

#include "platform/graph/ObjectID.h"
#include "window/FeedsSmartGroup.h"

namespace tallowmere {

// What a sidebar row stands for: a smart group, or a feed or folder by its
// object ID. Rows never hold stored objects; a node is fetched when needed.
using FeedsOutlineItem = std::variant<FeedsSmartGroup, graph::ObjectID>;

}  // namespace tallowmere
