#pragma once

#include "menus/MenuItem.h"

namespace tallowmere {

// The Help submenu: the product's web site, privacy policy and terms of
// service, opened in the default browser. The entry's tag picks the link.
class HelpMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "HelpMenuItem";

    HelpMenuItem();
    static std::vector<MenuRow> menuRows();

    // Opens the link of the sender's tag (0 web site, 1 privacy policy,
    // 2 terms); any other tag, or none, opens nothing.
    void openLink(QAction* sender);

protected:
    void performItemCommand(const MenuRow& row, QAction* sender) override;
};

}  // namespace tallowmere
