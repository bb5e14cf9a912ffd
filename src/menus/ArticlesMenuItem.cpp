#include "menus/ArticlesMenuItem.h"

#include <QAction>
#include <QKeyEvent>

#include "reader/ReaderReadMode.h"
#include "store/Preferences.h"
#include "window/ActionRouter.h"

namespace tallowmere {

ArticlesMenuItem::ArticlesMenuItem() : MenuItem(tableName, "articles") {
    const auto preferences = Preferences::shared();
    addRows(menuRows(preferences->showOldestUnreadArticlesFirst(), preferences->groupArticlesByFeed()));
    nextArticleMenuItem_ = actionForSelector("showNextArticle");
    previousArticleMenuItem_ = actionForSelector("showPreviousArticle");
    searchArticlesMenuItem_ = actionForSelector("showArticlesSearchField");
}

std::vector<MenuRow> ArticlesMenuItem::menuRows(bool showOldestUnreadFirst, bool groupByFeed) {
    using enum KeyModifier;
    const std::vector<KeyModifier> bare;
    auto readMode = [&](const char* titleKey, const char* key, ReaderReadMode mode) {
        auto row = menuEntry(titleKey, "setReaderReadMode:", Action::setReaderReadMode, key, bare);
        row.target = MenuTarget::item;
        row.representedObject = QVariant::fromValue(mode);
        return row;
    };
    auto marked = [](MenuRow row, bool on) {
        row.hasState = true;
        row.on = on;
        return row;
    };
    auto markListedRead = menuEntry("mark_listed_articles_as_read", "articlesMarkAsRead", Action::articlesMarkAsRead,
                                    "a", std::vector{control});
    // The Super key is often the desktop's own; the same key with Alt+Shift is free.
    markListedRead.alternateModifiers = std::vector{option, shift};
    return {
        menuEntry("next_article", "showNextArticle", Action::showNextArticle, "j", bare),
        menuEntry("previous_article", "showPreviousArticle", Action::showPreviousArticle, "k", bare),
        MenuRow::separatorRow(),
        menuEntry("mark_as_unread", "markSelectedArticleAsUnread", Action::markSelectedArticleAsUnread, "u", bare),
        menuEntry("mark_as_starred", "markSelectedArticleAsStarred", Action::markSelectedArticleAsStarred, "s", bare),
        MenuRow::separatorRow(),
        readMode("view_in_preview_mode", "1", ReaderReadMode::preview),
        readMode("view_in_web_mode", "2", ReaderReadMode::web),
        menuEntry("view_in_default_browser", "viewSelectedArticleInDefaultBrowser",
                  Action::viewSelectedArticleInDefaultBrowser, "3", bare),
        MenuRow::separatorRow(),
        menuEntry("show_full_article", "showFullArticle", Action::showFullArticle, "f", bare),
        MenuRow::separatorRow(),
        marked(menuEntry("show_oldest_unread_first", "showOldestUnreadArticlesFirst",
                         Action::showOldestUnreadArticlesFirst, "a", std::vector{command, shift}),
               showOldestUnreadFirst),
        marked(menuEntry("show_newest_unread_first", "showNewestUnreadArticlesFirst",
                         Action::showNewestUnreadArticlesFirst, "s", std::vector{command, shift}),
               !showOldestUnreadFirst),
        MenuRow::separatorRow(),
        marked(menuEntry("group_by_feed", "toggleGroupArticlesByFeed", Action::toggleGroupArticlesByFeed, "g",
                         std::vector{command, shift}),
               groupByFeed),
        MenuRow::separatorRow(),
        markListedRead,
        menuEntry("search_articles", "showArticlesSearchField", Action::showArticlesSearchField, "f",
                  std::vector{command, option}),
    };
}

void ArticlesMenuItem::setReaderReadMode(QAction* sender) {
    if (!sender) return;
    const QVariant object = sender->data();
    if (object.metaType() != QMetaType::fromType<ReaderReadMode>()) return;
    sendActionToTarget(Action::setReaderReadMode, object.value<ReaderReadMode>());
}

void ArticlesMenuItem::performItemCommand(const MenuRow& row, QAction* sender) {
    if (row.selector == "setReaderReadMode:") setReaderReadMode(sender);
}

std::optional<Action> ArticlesMenuItem::menuHasKeyEquivalent(const QKeyEvent& event) const {
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return std::nullopt;
    const QString text = event.text();
    if (text.isEmpty()) return std::nullopt;
    if (text == QLatin1String("[")) return actionOf(previousArticleMenuItem_);
    if (text == QLatin1String("]")) return actionOf(nextArticleMenuItem_);
    if (text == QLatin1String("\\")) return actionOf(searchArticlesMenuItem_);
    return std::nullopt;
}

std::optional<Action> ArticlesMenuItem::actionOf(const QAction* entry) const {
    if (!entry) return std::nullopt;
    for (std::size_t index = 0; index < rowActions().size(); ++index) {
        if (rowActions()[index] == entry) return rows()[index].action;
    }
    return std::nullopt;
}

}  // namespace tallowmere
