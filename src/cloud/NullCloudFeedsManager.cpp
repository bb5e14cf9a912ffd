#include "cloud/NullCloudFeedsManager.h"

namespace tallowmere {

void NullCloudFeedsManager::cancelOperation(const std::string&) {}

void NullCloudFeedsManager::cancelAllOperations() {}

}  // namespace tallowmere
