#pragma once

#include "menus/TableViewMenu.h"
#include "store/Node.h"

namespace tallowmere {

// Context menu of one sidebar node row. It keeps its node and the clicked
// row for the actions of its items; the items come with the sidebar menu.
class FeedsOutlineViewMenu : public TableViewMenu {
    Q_OBJECT
public:
    FeedsOutlineViewMenu(Node node, int row, QWidget* parent = nullptr);

    const Node& node() const { return node_; }
    int row() const { return row_; }

private:
    Node node_;
    int row_;
};

}  // namespace tallowmere
