#pragma once

namespace tallowmere {

// The after-batch step of a list of added feeds. Named fields, because the
// two switches are easy to swap as plain Booleans.
struct FeedBatchOptions {
    // Rewrite the user's whole cloud feed list before registering.
    bool saveUserFeedsFirst = false;
    // The sync step uploads the local read and starred state instead of
    // downloading the cloud's.
    bool uploadSyncInfo = false;
};

}  // namespace tallowmere
