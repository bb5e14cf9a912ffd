#pragma once

#include <string>

#include "themes_core/ThemeType.h"

namespace tallowmere {

// The choice as the settings pane shows it ("Auto", "Espresso", ...).
std::string themeTypeName(ThemeType type);

// The choice itself when it is one of the nine; any other value cannot come
// from the settings (they map it to their default) and is a programming
// error: it stops a debug build and reads as the automatic choice otherwise.
ThemeType checkedThemeType(ThemeType type);

}  // namespace tallowmere
