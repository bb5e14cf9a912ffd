#pragma once

#include <optional>

namespace tallowmere {

// The reader's visual themes; the raw values are what the settings store.
enum class ThemeType : int {
    automatic = -1,  // follows the desktop's light or dark style
    espresso = 0,
    dark = 1,
    cocoa = 2,
    latte = 3,
    caramel = 4,
    raspberry = 5,
    mint = 6,
    mocha = 7,
};

// Nothing for a raw value outside -1...7.
constexpr std::optional<ThemeType> themeTypeFromRaw(long long raw) {
    if (raw < -1 || raw > 7) return std::nullopt;
    return static_cast<ThemeType>(raw);
}

constexpr int rawValue(ThemeType theme) { return static_cast<int>(theme); }

}  // namespace tallowmere
