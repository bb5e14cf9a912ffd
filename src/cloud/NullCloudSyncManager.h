#pragma once

#include "cloud/CloudSyncManager.h"

namespace tallowmere {

// Without cloud there is nothing to upload or apply: completions at once.
class NullCloudSyncManager final : public CloudSyncManager {
public:
    void uploadSyncInfo(bool flag, Completion completion) override;
    void downloadSyncInfo(Completion completion) override;
};

}  // namespace tallowmere
