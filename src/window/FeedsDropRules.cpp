#include "window/FeedsDropRules.h"

namespace tallowmere {

std::optional<FeedsDropTarget> FeedsDropRules::target(const std::optional<graph::ObjectID>& proposed, int childIndex,
                                                      const graph::ObjectID& dragged, int index,
                                                      const std::optional<graph::ObjectID>& parent, const Tree& tree,
                                                      int rootOffset) {
    // Onto or between the smart groups, and onto the empty root.
    if (!proposed && childIndex < rootOffset) return std::nullopt;
    const int storeIndexNow = parent ? index : index - rootOffset;

    FeedsDropTarget target;
    if (tree.isExpandable(proposed)) {
        target.parent = proposed;
        const bool down = index < childIndex && parent == proposed;
        target.outlineIndex = down ? childIndex - 1 : childIndex;
        target.storeIndex = childIndex - (proposed ? 0 : rootOffset);
    } else {
        // Onto a feed: its place, after it when coming from above it.
        const int feedIndex = tree.childIndex(*proposed);
        target.parent = tree.parent(*proposed);
        target.outlineIndex = feedIndex;
        const bool down = index < feedIndex && parent == target.parent;
        target.storeIndex = (down ? feedIndex + 1 : feedIndex) - (target.parent ? 0 : rootOffset);
    }
    // Folders are never nested.
    if (target.parent && tree.isExpandable(dragged)) return std::nullopt;
    // Nothing would move.
    if (target.storeIndex == storeIndexNow && target.parent == parent) return std::nullopt;
    return target;
}

}  // namespace tallowmere
