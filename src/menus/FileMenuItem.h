#pragma once

#include "menus/MenuItem.h"

namespace tallowmere {

// The File submenu: import and export of the subscriptions, and closing the
// active window.
class FileMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "FileMenuItem";

    FileMenuItem();
    static std::vector<MenuRow> menuRows();

protected:
    void performItemCommand(const MenuRow& row, QAction* sender) override;
    bool validateItemCommand(const MenuRow& row) const override;
};

}  // namespace tallowmere
