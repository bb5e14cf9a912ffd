#pragma once

#include <QPointer>
#include <optional>

#include "menus/MenuItem.h"

class QKeyEvent;

namespace tallowmere {

// The Articles submenu: moving through the list, marking, the reader's
// modes, the list's order and grouping, marking the list read, the search
// field. Most of its keys work without a modifier; "[", "]" and "\" reach
// the previous-article, next-article and search entries through
// menuHasKeyEquivalent(). The marks of the order and grouping entries show
// the settings as they were when the menu was built.
class ArticlesMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "ArticlesMenuItem";

    ArticlesMenuItem();
    // The rows with the marks of these two settings.
    static std::vector<MenuRow> menuRows(bool showOldestUnreadFirst, bool groupByFeed);

    QAction* nextArticleMenuItem() const { return nextArticleMenuItem_; }
    QAction* previousArticleMenuItem() const { return previousArticleMenuItem_; }
    QAction* searchArticlesMenuItem() const { return searchArticlesMenuItem_; }

    // Sends the sender's read mode on; nothing when it carries none.
    void setReaderReadMode(QAction* sender);

    // The command of a key event by its text alone: "[" previous article,
    // "]" next article, "\" search; none with Ctrl or Alt held, for other
    // text, or without text (a dead key, a composition under way).
    std::optional<Action> menuHasKeyEquivalent(const QKeyEvent& event) const;

protected:
    void performItemCommand(const MenuRow& row, QAction* sender) override;

private:
    std::optional<Action> actionOf(const QAction* entry) const;

    QPointer<QAction> nextArticleMenuItem_;
    QPointer<QAction> previousArticleMenuItem_;
    QPointer<QAction> searchArticlesMenuItem_;
};

}  // namespace tallowmere
