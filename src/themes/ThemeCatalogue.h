#pragma once

#include "themes/Theme.h"
#include "themes_core/ThemeType.h"

namespace tallowmere {

// Builds the eight themes: the default ("Espresso") and seven that differ
// from it in some fonts, colours and settings. Every call builds a new theme.
class ThemeCatalogue {
public:
    ThemeCatalogue() = delete;
    // `type` names a theme, not the automatic choice (which gives Espresso
    // here; ThemesManager resolves it first).
    static ThemePointer theme(ThemeType type);
};

}  // namespace tallowmere
