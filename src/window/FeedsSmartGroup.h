#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tallowmere {

// The fixed entries at the top of the sidebar. The raw value is also the
// entry's row, which the View menu and the smart-group command pass on.
enum class FeedsSmartGroup : std::uint8_t {
    all = 0,
    unread = 1,
    today = 2,
    starred = 3,
    add = 4,
    separator = 5,
};

inline constexpr std::array<FeedsSmartGroup, 6> allFeedsSmartGroups = {
    FeedsSmartGroup::all,     FeedsSmartGroup::unread, FeedsSmartGroup::today,
    FeedsSmartGroup::starred, FeedsSmartGroup::add,    FeedsSmartGroup::separator,
};

// Nothing for a raw value outside 0...5.
constexpr std::optional<FeedsSmartGroup> feedsSmartGroupFromRaw(long long raw) {
    if (raw < 0 || raw > 5) return std::nullopt;
    return static_cast<FeedsSmartGroup>(raw);
}

constexpr int rawValue(FeedsSmartGroup group) { return static_cast<int>(group); }

}  // namespace tallowmere
