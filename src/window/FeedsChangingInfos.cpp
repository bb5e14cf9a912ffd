#include "window/FeedsChangingInfos.h"

#include <utility>

namespace tallowmere {

int FeedsChangingInfos::outlineIndex(std::size_t index, const std::optional<graph::ObjectID>& parent) const {
    return static_cast<int>(index) + (parent ? 0 : rootOffset_);
}

void FeedsChangingInfos::record(std::optional<std::size_t> index, const std::optional<graph::ObjectID>& parent,
                                graph::ResultsChange type, std::optional<std::size_t> newIndex,
                                const std::optional<graph::ObjectID>& newParent) {
    using graph::ResultsChange;
    switch (type) {
        case ResultsChange::insert:
            if (newIndex) addChangingInfo(type, outlineIndex(*newIndex, newParent), NodeInfo{newParent}, std::nullopt);
            return;
        case ResultsChange::remove:
            if (index) addChangingInfo(type, outlineIndex(*index, parent), NodeInfo{parent}, std::nullopt);
            return;
        case ResultsChange::move:
            if (!index || !newIndex) return;
            // Equal indexes (the parents are not compared) only redraw.
            if (*index == *newIndex) {
                addChangingInfo(ResultsChange::update, outlineIndex(*newIndex, newParent), NodeInfo{newParent},
                                std::nullopt);
                return;
            }
            addChangingInfo(type, outlineIndex(*index, parent), NodeInfo{parent},
                            FeedsChangingInfo::NewIndexInfo{NodeInfo{newParent}, outlineIndex(*newIndex, newParent)});
            return;
        case ResultsChange::update:
            if (newIndex) addChangingInfo(type, outlineIndex(*newIndex, newParent), NodeInfo{newParent}, std::nullopt);
            return;
    }
}

void FeedsChangingInfos::addChangingInfo(graph::ResultsChange type, int index, const NodeInfo& parent,
                                         const std::optional<FeedsChangingInfo::NewIndexInfo>& newIndexInfo) {
    if (!elements_.empty() && elements_.back().type == type && elements_.back().newIndexInfo == newIndexInfo) {
        elements_.back().indexesInfo[parent].insert(index);
        return;
    }
    FeedsChangingInfo info;
    info.type = type;
    info.indexesInfo[parent].insert(index);
    info.newIndexInfo = newIndexInfo;
    elements_.push_back(std::move(info));
}

std::vector<FeedsChangingInfo> FeedsChangingInfos::take() { return std::exchange(elements_, {}); }

}  // namespace tallowmere
