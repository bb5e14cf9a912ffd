#pragma once

#include "menus/MenuItem.h"

namespace tallowmere {

// The Edit submenu: the editing commands act on the widget with the focus
// (a web view through its page's actions); copying the selected article's
// link is a window command.
class EditMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "EditMenuItem";

    EditMenuItem();
    static std::vector<MenuRow> menuRows();

    // Carries out "cut:", "copy:", "paste:" or "selectAll:" on the widget;
    // false when it has no such command.
    static bool performEditCommand(QWidget* focus, std::string_view selector, bool dryRun = false);

protected:
    void performItemCommand(const MenuRow& row, QAction* sender) override;
    bool validateItemCommand(const MenuRow& row) const override;
};

}  // namespace tallowmere
