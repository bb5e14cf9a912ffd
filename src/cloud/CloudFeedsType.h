#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallowmere {

// The kind of a downloaded list of feed URL strings.
enum class CloudFeedsType : int {
    user = 0,
    push = 1,
    newsletterHourly = 2,
    newsletterDaily = 3,
};

constexpr std::optional<CloudFeedsType> cloudFeedsTypeFromRaw(long long raw) {
    if (raw < 0 || raw > 3) return std::nullopt;
    return static_cast<CloudFeedsType>(raw);
}

constexpr int rawValue(CloudFeedsType value) { return static_cast<int>(value); }

// One downloaded list: its URL strings and what they stand for.
using CloudFeedList = std::pair<std::vector<std::string>, CloudFeedsType>;

}  // namespace tallowmere
