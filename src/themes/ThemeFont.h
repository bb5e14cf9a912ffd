#pragma once

#include <QFont>
#include <string>

namespace tallowmere {

// One text role of a theme: the font's name and size as the theme gives them
// (the reader page writes these into its style rules) and the font that
// stands in for that name on this desktop.
struct ThemeFont {
    std::string name;
    double size = 0;
    QFont font;
};

}  // namespace tallowmere
