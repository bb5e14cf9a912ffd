#pragma once

#include "menus/MenuItem.h"

namespace tallowmere {

// The Feeds submenu: refresh, walk the sidebar, add a feed.
class FeedsMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "FeedsMenuItem";

    FeedsMenuItem();
    static std::vector<MenuRow> menuRows();
};

}  // namespace tallowmere
