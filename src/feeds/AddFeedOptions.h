#pragma once

namespace tallowmere {

// The after-add steps of one added feed. The add-feed action turns them all
// on (all()); batch adders leave them off and run one after-batch step.
struct AddFeedOptions {
    // Update the per-feed statistics record.
    bool updateStats = false;
    // Add the feed to the user's cloud feed list.
    bool saveToCloud = false;
    // Register the URL (push subscriptions or backend), then the sync step.
    bool registerFeed = false;
    // The sync step uploads the local read and starred state instead of
    // downloading the cloud's.
    bool uploadSyncInfo = false;

    static AddFeedOptions all() { return {true, true, true, true}; }
};

}  // namespace tallowmere
