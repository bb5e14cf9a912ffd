#pragma once

#include <QPalette>

namespace tallowmere {

// The desktop's named looks of a control: the plain light one, and the
// light and dark looks of controls over the translucent sidebar. Here each
// becomes a light or a dark palette.
enum class NamedAppearance { aqua, vibrantLight, vibrantDark };

QPalette paletteFor(NamedAppearance appearance);

}  // namespace tallowmere
