#pragma once

#include "cloud/CloudFeedsManager.h"

namespace tallowmere {

// Without cloud no operation is ever kept, so there is nothing to cancel.
class NullCloudFeedsManager final : public CloudFeedsManager {
public:
    void cancelOperation(const std::string& key) override;
    void cancelAllOperations() override;
};

}  // namespace tallowmere
