#pragma once

#include <cstddef>
#include <optional>

#include "platform/graph/FetchedResultsController.h"

namespace tallowmere {

// A delegate that shows the nodes as a sectioned table: it receives the
// results controller's changes unchanged. Tested before the outline form.
class NodesSourceTableDelegate {
public:
    virtual ~NodesSourceTableDelegate() = default;

    virtual void nodesSourceDidChangeRow(std::optional<graph::IndexPath> indexPath, graph::ResultsChange type,
                                         std::optional<graph::IndexPath> newIndexPath) = 0;
    virtual void nodesSourceDidChangeSection(std::size_t section, graph::ResultsChange type) = 0;
};

}  // namespace tallowmere
