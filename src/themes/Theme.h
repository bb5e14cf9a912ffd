#pragma once

#include <QColor>
#include <memory>
#include <string>

#include "themes/ThemeColors.h"
#include "themes/ThemeFonts.h"
#include "themes/ThemeSettings.h"

namespace tallowmere {

// The whole look of the window. Never changed after construction; themed
// elements read it afresh from ThemesManager each time they apply it.
class Theme {
public:
    Theme(std::string name, ThemeFonts fonts, ThemeColors colors, QColor articleCreator, ThemeSettings settings)
        : name_(std::move(name)),
          fonts_(std::move(fonts)),
          colors_(std::move(colors)),
          articleCreator_(articleCreator),
          settings_(settings) {}

    const std::string& name() const { return name_; }
    const ThemeFonts& fonts() const { return fonts_; }
    const ThemeColors& colors() const { return colors_; }
    const ThemeSettings& settings() const { return settings_; }
    // Kept with the theme's colours but read by no element.
    const QColor& articleCreator() const { return articleCreator_; }

private:
    std::string name_;
    ThemeFonts fonts_;
    ThemeColors colors_;
    QColor articleCreator_;
    ThemeSettings settings_;
};

using ThemePointer = std::shared_ptr<const Theme>;

}  // namespace tallowmere
