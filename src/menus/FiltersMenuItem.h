#pragma once

#include "menus/MenuItem.h"

namespace tallowmere {

// The Filters submenu: narrows the current list to unread, today's or
// starred articles, or shows them all. The filter stays on the entry, which
// hands it to the receiver.
class FiltersMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "FiltersMenuItem";

    FiltersMenuItem();
    static std::vector<MenuRow> menuRows();

protected:
    std::any routedObject(const MenuRow& row, QAction* sender) const override;
};

}  // namespace tallowmere
