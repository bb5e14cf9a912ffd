#include "menus/FeedsMenuItem.h"

namespace tallowmere {

FeedsMenuItem::FeedsMenuItem() : MenuItem(tableName, "feeds") { addRows(menuRows()); }

std::vector<MenuRow> FeedsMenuItem::menuRows() {
    using enum KeyModifier;
    return {
        menuEntry("refresh_feeds", "refreshFeeds", Action::refreshFeeds, "r"),
        menuEntry("next_feed", "showNextFeed", Action::showNextFeed, "n"),
        menuEntry("previous_feed", "showPreviousFeed", Action::showPreviousFeed, "p"),
        MenuRow::separatorRow(),
        menuEntry("add_feed", "addFeed:", Action::addFeed, "a", std::vector{command, option}),
    };
}

}  // namespace tallowmere
