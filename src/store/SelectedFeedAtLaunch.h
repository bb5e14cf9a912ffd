#pragma once

#include <optional>

namespace tallowmere {

// Which sidebar entry is selected when the program starts.
enum class SelectedFeedAtLaunch : int {
    all = 0,   // the entry for all articles
    last = 1,  // the node that was selected last
};

constexpr std::optional<SelectedFeedAtLaunch> selectedFeedAtLaunchFromRaw(long long raw) {
    if (raw != 0 && raw != 1) return std::nullopt;
    return static_cast<SelectedFeedAtLaunch>(raw);
}

constexpr int rawValue(SelectedFeedAtLaunch value) { return static_cast<int>(value); }

}  // namespace tallowmere
