#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "window/FeedsChangingInfo.h"

namespace tallowmere {

// The outline changes of one change set of the node source, in the order
// they were reported. Node indexes become outline indexes (the root's rows
// follow the smart groups), and a change of the same type and target as the
// last one joins it, so runs of equal changes become one outline step.
class FeedsChangingInfos {
public:
    explicit FeedsChangingInfos(int rootOffset) : rootOffset_(rootOffset) {}

    // One node change as the node source reports it; one that lacks the
    // index it needs is dropped.
    void record(std::optional<std::size_t> index, const std::optional<graph::ObjectID>& parent,
                graph::ResultsChange type, std::optional<std::size_t> newIndex,
                const std::optional<graph::ObjectID>& newParent);
    // Joins the last element when type and target match, else starts one.
    void addChangingInfo(graph::ResultsChange type, int index, const NodeInfo& parent,
                         const std::optional<FeedsChangingInfo::NewIndexInfo>& newIndexInfo);

    const std::vector<FeedsChangingInfo>& elements() const { return elements_; }
    bool empty() const { return elements_.empty(); }
    std::vector<FeedsChangingInfo> take();

private:
    int outlineIndex(std::size_t index, const std::optional<graph::ObjectID>& parent) const;

    int rootOffset_;
    std::vector<FeedsChangingInfo> elements_;
};

}  // namespace tallowmere
