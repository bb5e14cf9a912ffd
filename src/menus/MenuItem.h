#pragma once

#include <QObject>
#include <QPointer>
#include <any>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "menus/MenuRow.h"

class QAction;
class QMenu;

namespace tallowmere {

// A top-level entry of the menu bar and the submenu it builds from its rows.
// Entries without a target send their window command through the action
// router; whatever else an entry does is up to the item. The router's
// answers enable the entries while the submenu is shown; once it closes
// they are all enabled again, so that a key always reaches the router,
// which drops what no one carries out.
class MenuItem : public QObject {
    Q_OBJECT
public:
    ~MenuItem() override;

    // The submenu; its title is what the menu bar shows.
    QMenu* menu() const { return menu_.get(); }
    const std::vector<MenuRow>& rows() const { return rows_; }
    // The entry built for each row, in order; none for a separator.
    const std::vector<QAction*>& rowActions() const { return actions_; }
    QAction* actionForSelector(std::string_view selector) const;

    // What the entry does when chosen, with the entry as sender.
    void perform(const MenuRow& row, QAction* sender);

protected:
    MenuItem(std::string_view tableName, std::string_view titleKey);

    std::string localized(std::string_view key) const;
    // Adds the rows after those already built.
    void addRows(std::vector<MenuRow> rows);
    void setValidatesItems(bool validates) { validatesItems_ = validates; }

    // An entry the item carries out itself (a target, or a desktop command).
    virtual void performItemCommand(const MenuRow& row, QAction* sender);
    // The object a router entry sends along; none by default.
    virtual std::any routedObject(const MenuRow& row, QAction* sender) const;
    // Whether an entry the item carries out can be chosen now.
    virtual bool validateItemCommand(const MenuRow& row) const;
    virtual void menuWillOpen();
    virtual void menuDidClose();

    // The widget with the focus in the active window, if any.
    static QWidget* focusWidget();

private:
    void validate();
    void restoreEnabled();
    QAction* buildAction(const MenuRow& row);

    const std::string tableName_;
    std::unique_ptr<QMenu> menu_;
    std::vector<MenuRow> rows_;
    std::vector<QAction*> actions_;
    bool validatesItems_ = true;
};

}  // namespace tallowmere
