#include "menus/ViewMenuItem.h"

#include <QAction>

#include "window/ActionRouter.h"
#include "window/FeedsSmartGroup.h"

namespace tallowmere {

ViewMenuItem::ViewMenuItem() : MenuItem(tableName, "view") { addRows(menuRows()); }

std::vector<MenuRow> ViewMenuItem::menuRows() {
    const std::pair<const char*, FeedsSmartGroup> groups[] = {
        {"all_articles", FeedsSmartGroup::all},
        {"unread_articles", FeedsSmartGroup::unread},
        {"today_articles", FeedsSmartGroup::today},
        {"starred_articles", FeedsSmartGroup::starred},
    };
    std::vector<MenuRow> rows;
    for (const auto& [titleKey, group] : groups) {
        auto row = menuEntry(titleKey, "showSmartGroup:", Action::showSmartGroup, std::to_string(rawValue(group) + 1));
        row.target = MenuTarget::item;
        row.representedObject = QVariant::fromValue(group);
        rows.push_back(std::move(row));
    }
    rows.push_back(MenuRow::separatorRow());
    return rows;
}

void ViewMenuItem::showSmartGroup(QAction* sender) {
    if (!sender) return;
    const QVariant object = sender->data();
    if (object.metaType() != QMetaType::fromType<FeedsSmartGroup>()) return;
    sendActionToTarget(Action::showSmartGroup, object.value<FeedsSmartGroup>());
}

void ViewMenuItem::performItemCommand(const MenuRow&, QAction* sender) { showSmartGroup(sender); }

}  // namespace tallowmere
