#pragma once

#include <QColor>

namespace tallowmere {

// The shared colours of the default theme.
class DefaultColorPalette {
public:
    DefaultColorPalette() = delete;
    static const QColor& darkBrown();
    static const QColor& gray60();
    static const QColor& gray80();
    static const QColor& gray30();
    static const QColor& offWhite();
    static const QColor& lightGray();
};

// Our own fixed dark palette, standing in for the desktop's colours in the
// "Dark" theme so that it is dark on every desktop, whatever its style.
class DarkSystemColors {
public:
    DarkSystemColors() = delete;
    static const QColor& windowBackground();
    static const QColor& separator();
    static const QColor& text();
    static const QColor& unemphasizedSelectedTextBackground();
};

}  // namespace tallowmere
