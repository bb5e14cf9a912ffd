#pragma once

namespace tallowmere {

// A themed view, view controller or window: applyTheme() re-reads the current
// theme from ThemesManager and re-applies fonts, colours and images.
class Themable {
public:
    virtual ~Themable() = default;
    virtual void applyTheme() = 0;
};

}  // namespace tallowmere
