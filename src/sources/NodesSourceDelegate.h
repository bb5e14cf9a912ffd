#pragma once

namespace tallowmere {

// The sidebar's side of the node source: told when a batch of tree changes
// begins and ends. Held weakly (std::weak_ptr) and called on the main thread;
// the source relies on no result.
class NodesSourceDelegate {
public:
    virtual ~NodesSourceDelegate() = default;

    virtual void nodesSourceWillChangeContent() = 0;
    virtual void nodesSourceDidChangeContent() = 0;
};

}  // namespace tallowmere
