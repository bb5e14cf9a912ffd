#pragma once

#include <optional>

namespace tallowmere {

// How often the feeds are refreshed; raw values are minutes.
enum class FeedsRefreshInterval : int {
    never = -1,    // no automatic refresh
    atLaunch = 0,  // only once, when the program starts
    oneMinute = 1,
    fiveMinutes = 5,
    fifteenMinutes = 15,
    thirtyMinutes = 30,
    sixtyMinutes = 60,
};

constexpr std::optional<FeedsRefreshInterval> feedsRefreshIntervalFromRaw(long long raw) {
    switch (raw) {
        case -1:
        case 0:
        case 1:
        case 5:
        case 15:
        case 30:
        case 60:
            return static_cast<FeedsRefreshInterval>(raw);
        default:
            return std::nullopt;
    }
}

constexpr int rawValue(FeedsRefreshInterval value) { return static_cast<int>(value); }

}  // namespace tallowmere
