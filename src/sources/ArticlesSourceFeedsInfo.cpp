#include "sources/ArticlesSourceFeedsInfo.h"

#include <algorithm>

namespace tallowmere {

namespace {

std::vector<graph::ObjectID> sortedIDs(const std::vector<Feed>& feeds) {
    std::vector<graph::ObjectID> ids;
    ids.reserve(feeds.size());
    for (const Feed& feed : feeds) ids.push_back(feed.objectID());
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

// Keeps the first of each repeated feed.
std::vector<Feed> withoutRepeats(std::vector<Feed> feeds) {
    std::vector<Feed> unique;
    unique.reserve(feeds.size());
    for (Feed& feed : feeds) {
        if (std::find(unique.begin(), unique.end(), feed) == unique.end()) unique.push_back(std::move(feed));
    }
    return unique;
}

}  // namespace

ArticlesSourceFeedsInfo::ArticlesSourceFeedsInfo(std::optional<std::vector<Feed>> feeds,
                                                 std::optional<ArticlesSourceFilter> filter)
    : feeds(feeds ? std::optional(withoutRepeats(std::move(*feeds))) : std::nullopt), filter(filter) {}

bool ArticlesSourceFeedsInfo::operator==(const ArticlesSourceFeedsInfo& other) const {
    if (filter != other.filter) return false;
    if (feeds.has_value() != other.feeds.has_value()) return false;
    if (!feeds) return true;
    return sortedIDs(*feeds) == sortedIDs(*other.feeds);
}

}  // namespace tallowmere
