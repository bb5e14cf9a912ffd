#include "themes_core/ThemeTypeName.h"

#include <cassert>

namespace tallowmere {

ThemeType checkedThemeType(ThemeType type) {
    const bool known = themeTypeFromRaw(rawValue(type)).has_value();
    assert(known && "theme type outside -1...7");
    return known ? type : ThemeType::automatic;
}

std::string themeTypeName(ThemeType type) {
    switch (checkedThemeType(type)) {
        case ThemeType::automatic: return "Auto";
        case ThemeType::espresso: return "Espresso";
        case ThemeType::dark: return "Dark";
        case ThemeType::cocoa: return "Cocoa";
        case ThemeType::latte: return "Latte";
        case ThemeType::caramel: return "Caramel";
        case ThemeType::raspberry: return "Raspberry";
        case ThemeType::mint: return "Mint";
        case ThemeType::mocha: return "Mocha";
    }
    return "Auto";
}

}  // namespace tallowmere
