#pragma once

#include <map>
#include <optional>
#include <set>

#include "platform/graph/FetchedResultsController.h"
#include "platform/graph/ObjectID.h"

namespace tallowmere {

// A parent in the sidebar's outline: nothing for the root, else a folder.
struct NodeInfo {
    std::optional<graph::ObjectID> nodeID;

    bool operator==(const NodeInfo&) const = default;
    bool operator<(const NodeInfo& other) const { return nodeID < other.nodeID; }
};

// One pending outline change of one type: its outline indexes grouped by
// parent, and for a move the place the rows go to.
struct FeedsChangingInfo {
    struct NewIndexInfo {
        NodeInfo parent;
        int index = 0;
        bool operator==(const NewIndexInfo&) const = default;
    };

    graph::ResultsChange type = graph::ResultsChange::update;
    std::map<NodeInfo, std::set<int>> indexesInfo;
    std::optional<NewIndexInfo> newIndexInfo;
};

}  // namespace tallowmere
