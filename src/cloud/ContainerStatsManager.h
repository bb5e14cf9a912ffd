#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "cloud/CloudManager.h"
#include "cloud/CloudUserManager.h"
#include "cloud/StatsManager.h"

namespace tallowmere {

// Counts feed additions in public per-feed records shared by all users: how
// often the feed was added and every category it declared. Fire and forget:
// failures are only logged.
// Work in flight keeps the manager alive: callers do not wait for it.
class ContainerStatsManager final : public StatsManager,
                                    public CloudManager,
                                    public std::enable_shared_from_this<ContainerStatsManager> {
public:
    using UserSource = std::function<std::shared_ptr<CloudUserManager>()>;

    static constexpr const char* recordType = "feed_stats";
    static constexpr const char* urlKey = "url";
    static constexpr const char* countKey = "count";
    static constexpr const char* categoriesKey = "categories";

    ContainerStatsManager(ContainerSource container = {}, UserSource user = {});

    void updateFeedStats(const std::string& url, const std::optional<std::set<std::string>>& categories,
                         bool flag) override;

    // The form a feed URL is counted under: lower-cased, every "/" taken off
    // both ends, nothing else changed.
    static std::string normalizedURL(const std::string& url);

private:
    void queryFeedStats(const std::string& url, std::optional<std::set<std::string>> categories);
    void incrementFeedStats(cloud::Record record, const std::optional<std::set<std::string>>& categories);

    UserSource user_;
};

}  // namespace tallowmere
