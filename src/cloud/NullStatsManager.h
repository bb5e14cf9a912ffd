#pragma once

#include "cloud/StatsManager.h"

namespace tallowmere {

// Signed out: no statistics are kept.
class NullStatsManager final : public StatsManager {
public:
    void updateFeedStats(const std::string& url, const std::optional<std::set<std::string>>& categories,
                         bool flag) override;
};

}  // namespace tallowmere
