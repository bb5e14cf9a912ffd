#pragma once

#include <optional>
#include <vector>

#include "sources/ArticlesSourceFilter.h"
#include "store/Feed.h"

namespace tallowmere {

// The selection of the sidebar: which feeds the article list shows, under
// which smart-group filter.
struct ArticlesSourceFeedsInfo {
    // A set: each feed once, order without meaning. Absent or empty means
    // all feeds.
    std::optional<std::vector<Feed>> feeds;
    std::optional<ArticlesSourceFilter> filter;

    ArticlesSourceFeedsInfo() = default;
    ArticlesSourceFeedsInfo(std::optional<std::vector<Feed>> feeds, std::optional<ArticlesSourceFilter> filter);

    // The feeds compare as sets (by object); absent equals only absent.
    bool operator==(const ArticlesSourceFeedsInfo& other) const;
};

}  // namespace tallowmere
