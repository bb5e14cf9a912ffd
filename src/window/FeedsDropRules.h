#pragma once

#include <optional>

#include "platform/graph/ObjectID.h"

namespace tallowmere {

// Where a feed or folder dropped in the sidebar goes: the new parent (nothing
// for the root), its index in the store (among the new parent's children as
// they are before the move; -1 onto a folder) and its outline index (after it
// has left its old place).
struct FeedsDropTarget {
    std::optional<graph::ObjectID> parent;
    int storeIndex = 0;
    int outlineIndex = 0;
    bool operator==(const FeedsDropTarget&) const = default;
};

// The sidebar's drop rules, as a function of the proposed place, where the
// dragged node is, and the tree. Outline indexes at the root count the smart
// groups' rows before the nodes.
class FeedsDropRules {
public:
    // What the rules read of the outline.
    class Tree {
    public:
        virtual ~Tree() = default;
        // The root (nothing) and folders can hold nodes.
        virtual bool isExpandable(const std::optional<graph::ObjectID>& item) const = 0;
        virtual int childIndex(const graph::ObjectID& item) const = 0;
        virtual std::optional<graph::ObjectID> parent(const graph::ObjectID& item) const = 0;
    };

    // The proposal: onto or into `proposed` (nothing for the root or a smart
    // group) at child index `childIndex` (-1: onto it). The dragged node
    // stands at outline index `index` of `parent`. Nothing when the drop is
    // refused.
    static std::optional<FeedsDropTarget> target(const std::optional<graph::ObjectID>& proposed, int childIndex,
                                                  const graph::ObjectID& dragged, int index,
                                                  const std::optional<graph::ObjectID>& parent, const Tree& tree,
                                                  int rootOffset);
};

}  // namespace tallowmere
