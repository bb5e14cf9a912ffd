#include "cloud/NullCloudSyncManager.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"

namespace tallowmere {

void NullCloudSyncManager::uploadSyncInfo(bool, Completion completion) { completeInBackground(std::move(completion)); }

void NullCloudSyncManager::downloadSyncInfo(Completion completion) { completeInBackground(std::move(completion)); }

}  // namespace tallowmere
