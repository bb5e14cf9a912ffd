#include "menus/FiltersMenuItem.h"

#include <QAction>

#include "sources/ArticlesSourceFilter.h"

namespace tallowmere {

FiltersMenuItem::FiltersMenuItem() : MenuItem(tableName, "filters") { addRows(menuRows()); }

std::vector<MenuRow> FiltersMenuItem::menuRows() {
    using enum KeyModifier;
    const std::pair<const char*, std::optional<ArticlesSourceFilter>> filters[] = {
        {"all_articles", std::nullopt},
        {"unread_articles", ArticlesSourceFilter::unread},
        {"today_articles", ArticlesSourceFilter::today},
        {"starred_articles", ArticlesSourceFilter::starred},
    };
    std::vector<MenuRow> rows;
    for (const auto& [titleKey, filter] : filters) {
        auto row = menuEntry(titleKey, "setArticlesFilter:", Action::setArticlesFilter, std::to_string(rows.size() + 1),
                             std::vector{command, option});
        if (filter) row.representedObject = QVariant::fromValue(*filter);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::any FiltersMenuItem::routedObject(const MenuRow&, QAction* sender) const {
    // No filter, or one of another type, shows all articles.
    if (!sender || sender->data().metaType() != QMetaType::fromType<ArticlesSourceFilter>()) return {};
    return sender->data().value<ArticlesSourceFilter>();
}

}  // namespace tallowmere
