#pragma once

#include <functional>
#include <memory>

#include "platform/desktop/Appearance.h"
#include "themes/Theme.h"
#include "themes_core/ThemeType.h"

namespace tallowmere {

// Owner of the current theme. It turns the chosen theme type into a theme,
// resolving the automatic choice against the desktop's light or dark style
// (dark gives "Dark", light "Latte"). Main thread.
class ThemesManager {
public:
    using ThemeTypeSource = std::function<ThemeType()>;
    using AppearanceSource = std::function<desktop::Appearance()>;

    // Builds the theme of the current choice at once.
    ThemesManager(ThemeTypeSource themeType, AppearanceSource appearance);

    // Over the shared settings and the application's appearance.
    static ThemesManager& shared();

    const ThemePointer& theme() const { return theme_; }
    void setTheme(ThemePointer theme) { theme_ = std::move(theme); }
    const ThemeFonts& fonts() const { return theme_->fonts(); }
    const ThemeColors& colors() const { return theme_->colors(); }
    const ThemeSettings& settings() const { return theme_->settings(); }

    // A new theme for the choice on every call; the current one stays.
    ThemePointer themeFor(ThemeType type) const;
    // Rebuilds the current theme from the chosen type, then runs the
    // completion through the main queue: never before this call returns.
    void reloadTheme(std::function<void()> completion);

private:
    ThemeTypeSource themeType_;
    AppearanceSource appearance_;
    ThemePointer theme_;
};

}  // namespace tallowmere
