#include "cloud/CloudFeedsManager.h"

#include "cloud/NullCloudFeedsManager.h"
#include "cloud/ServiceSlot.h"

namespace tallowmere {

namespace {
ServiceSlot<CloudFeedsManager>& slot() {
    static ServiceSlot<CloudFeedsManager> instance([] { return std::make_shared<NullCloudFeedsManager>(); });
    return instance;
}
}  // namespace

std::shared_ptr<CloudFeedsManager> CloudFeedsManager::shared() { return slot().get(); }

void CloudFeedsManager::setShared(std::shared_ptr<CloudFeedsManager> manager) { slot().set(std::move(manager)); }

}  // namespace tallowmere
