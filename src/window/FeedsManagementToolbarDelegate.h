#pragma once

namespace tallowmere {

// Receives the sidebar toolbar's refresh button.
class FeedsManagementToolbarDelegate {
public:
    virtual ~FeedsManagementToolbarDelegate() = default;
    virtual void refreshFeeds() = 0;
};

}  // namespace tallowmere
