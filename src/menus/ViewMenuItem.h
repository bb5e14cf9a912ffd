#pragma once

#include "menus/MenuItem.h"

namespace tallowmere {

// The View submenu: one entry per smart group at the top of the sidebar.
// Each entry carries its group; the item sends the group itself on.
class ViewMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "ViewMenuItem";

    ViewMenuItem();
    static std::vector<MenuRow> menuRows();

    // Sends the sender's smart group on; nothing when it carries none.
    void showSmartGroup(QAction* sender);

protected:
    void performItemCommand(const MenuRow& row, QAction* sender) override;
};

}  // namespace tallowmere
