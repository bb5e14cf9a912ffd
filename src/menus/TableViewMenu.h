#pragma once

#include <QMenu>

namespace tallowmere {

class BorderedRowView;

// Context menu of a sidebar or article-list row, made afresh for each right
// click: while it is open, the row it was opened on draws its border, so the
// user sees which row its items act on. Its title is empty and no item has
// a shortcut.
class TableViewMenu : public QMenu {
    Q_OBJECT
public:
    explicit TableViewMenu(QWidget* parent = nullptr);

    // The clicked row, set by the menu's maker; none leaves every row alone.
    BorderedRowView* borderedRowView() const { return borderedRowView_; }
    void setBorderedRowView(BorderedRowView* rowView) { borderedRowView_ = rowView; }

private:
    void menuWillOpen();
    void menuDidClose();

    BorderedRowView* borderedRowView_ = nullptr;
};

}  // namespace tallowmere
