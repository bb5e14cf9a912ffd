#include "cloud/NullStatsManager.h"

namespace tallowmere {

void NullStatsManager::updateFeedStats(const std::string&, const std::optional<std::set<std::string>>&, bool) {}

}  // namespace tallowmere
