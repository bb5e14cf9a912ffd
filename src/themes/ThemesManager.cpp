#include "themes/ThemesManager.h"

#include "platform/desktop/Application.h"
#include "platform/dispatch/MainQueue.h"
#include "store/Preferences.h"
#include "themes/ThemeCatalogue.h"
#include "themes_core/ThemeTypeName.h"

namespace tallowmere {

ThemesManager::ThemesManager(ThemeTypeSource themeType, AppearanceSource appearance)
    : themeType_(std::move(themeType)), appearance_(std::move(appearance)), theme_(themeFor(themeType_())) {}

ThemesManager& ThemesManager::shared() {
    static ThemesManager* manager = new ThemesManager(  // lives for the whole process
        [] { return Preferences::shared()->themeType(); },
        [] { return desktop::Application::shared().appearance(); });
    return *manager;
}

ThemePointer ThemesManager::themeFor(ThemeType type) const {
    const ThemeType checked = checkedThemeType(type);
    if (checked != ThemeType::automatic) return ThemeCatalogue::theme(checked);
    const bool dark = appearance_ && appearance_() == desktop::Appearance::dark;
    return ThemeCatalogue::theme(dark ? ThemeType::dark : ThemeType::latte);
}

void ThemesManager::reloadTheme(std::function<void()> completion) {
    theme_ = themeFor(themeType_());
    dispatch::MainQueue::shared().async([completion = std::move(completion)] {
        if (completion) completion();
    });
}

}  // namespace tallowmere
