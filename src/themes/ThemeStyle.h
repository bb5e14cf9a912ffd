#pragma once

namespace tallowmere {

// Whether a pane's controls are drawn for a light or a dark background.
enum class ThemeStyle : int { light = 0, dark = 1 };

}  // namespace tallowmere
