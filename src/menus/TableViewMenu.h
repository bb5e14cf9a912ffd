#pragma once

#include <QMenu>

namespace tallowmere {

class BorderedRowView;

// Context menu of a sidebar or article-list row: while it is open, the row it
// was opened on draws its border.
class TableViewMenu : public QMenu {
    Q_OBJECT
public:
    explicit TableViewMenu(QWidget* parent = nullptr);

    BorderedRowView* borderedRowView() const { return borderedRowView_; }
    void setBorderedRowView(BorderedRowView* rowView) { borderedRowView_ = rowView; }

private:
    void menuWillOpen();
    void menuDidClose();

    BorderedRowView* borderedRowView_ = nullptr;
};

}  // namespace tallowmere
