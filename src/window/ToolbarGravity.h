#pragma once

namespace tallowmere {

// The three areas of a toolbar row.
enum class ToolbarGravity { leading = 1, center = 2, trailing = 3 };

}  // namespace tallowmere
