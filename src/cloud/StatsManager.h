#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace tallowmere {

// The public per-feed statistics records.
class StatsManager {
public:
    virtual ~StatsManager() = default;

    // Creates or increments the feed's statistics record when signed in with
    // the cloud enabled. Reports nothing.
    virtual void updateFeedStats(const std::string& url, const std::optional<std::set<std::string>>& categories,
                                 bool flag) = 0;

    static std::shared_ptr<StatsManager> shared();
    static void setShared(std::shared_ptr<StatsManager> manager);
};

}  // namespace tallowmere
