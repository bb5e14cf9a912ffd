#pragma once

#include <memory>
#include <string>

namespace tallowmere {

// The cloud operations kept per feed URL string (downloads of pushed articles).
class CloudFeedsManager {
public:
    virtual ~CloudFeedsManager() = default;

    // Cancels and forgets the operation kept under the key; none kept: nothing.
    virtual void cancelOperation(const std::string& key) = 0;
    virtual void cancelAllOperations() = 0;

    static std::shared_ptr<CloudFeedsManager> shared();
    static void setShared(std::shared_ptr<CloudFeedsManager> manager);
};

}  // namespace tallowmere
