#pragma once

#include <QList>
#include <QPointer>

#include "menus/MenuItem.h"

namespace tallowmere {

// The Window submenu: minimise, zoom, bring all to front, then the list of
// the program's open windows, made afresh each time the submenu opens.
class WindowMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "WindowMenuItem";

    WindowMenuItem();
    static std::vector<MenuRow> menuRows();

    // The entries of the window list as last made.
    const QList<QAction*>& windowListActions() const { return windowList_; }
    // The program's windows a user can go to, the main window first.
    static QList<QWidget*> openWindows();
    // A window's entry in the list.
    static QString entryTitle(QWidget* window);

protected:
    void performItemCommand(const MenuRow& row, QAction* sender) override;
    bool validateItemCommand(const MenuRow& row) const override;
    void menuWillOpen() override;

private:
    void rebuildWindowList();

    QList<QAction*> windowList_;
};

}  // namespace tallowmere
