#pragma once

#include "menus/MenuItem.h"

namespace tallowmere {

// The program's own submenu, titled with its name: about, preferences,
// hide and quit. Preferences and quit go to the application's delegate;
// without one they do nothing.
class AppMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "AppMenuItem";

    AppMenuItem();
    static std::vector<MenuRow> menuRows();

protected:
    void performItemCommand(const MenuRow& row, QAction* sender) override;

private:
    static void showAboutPanel();
    // The desktop has no hiding of a whole program: each of its windows is minimised.
    static void hideApplication();
};

}  // namespace tallowmere
