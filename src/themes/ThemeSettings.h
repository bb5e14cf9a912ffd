#pragma once

#include "themes/ThemeStyle.h"

namespace tallowmere {

// The switches of a theme.
struct ThemeSettings {
    bool multiplyImages = true;
    bool useFeedsBackgroundColors = false;
    bool useReaderBackgroundColor = true;
    bool useToolbarsBackgroundColor = true;
    ThemeStyle feedsStyle = ThemeStyle::dark;
    ThemeStyle articlesStyle = ThemeStyle::light;
    ThemeStyle readerStyle = ThemeStyle::light;

    bool operator==(const ThemeSettings&) const = default;
};

}  // namespace tallowmere
