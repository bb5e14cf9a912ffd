#pragma once

#include <QColor>
#include <optional>
#include <string>

#include "themes/ThemeStyle.h"

namespace tallowmere {

// Colour arithmetic of the themed elements.

// The colour with sRGB components; nothing for an invalid colour.
std::optional<QColor> sRGBColor(const QColor& color);
// Brightness (HSV value) raised by 0.2, at most 1.0; for pressed images on a
// dark pane. Nothing for an invalid colour.
std::optional<QColor> lighter(const QColor& color);
// Brightness lowered by 0.2, at least 0.0; for pressed images on a light pane.
std::optional<QColor> darker(const QColor& color);
// CSS text "rgba(r,g,b,a)" with each channel × 255 truncated toward zero and
// the alpha with one decimal; "" for an invalid colour.
std::string rgbaString(const QColor& color);
// What shows behind the reader's page when the theme has no reader background
// of its own: the desktop's content material, near black under a dark reader
// style, white under a light one.
QColor contentMaterial(ThemeStyle readerStyle);

}  // namespace tallowmere
