#include "menus/TableViewMenu.h"

#include "window/BorderedRowView.h"

namespace tallowmere {

TableViewMenu::TableViewMenu(QWidget* parent) : QMenu(parent) {
    connect(this, &QMenu::aboutToShow, this, &TableViewMenu::menuWillOpen);
    connect(this, &QMenu::aboutToHide, this, &TableViewMenu::menuDidClose);
}

void TableViewMenu::menuWillOpen() {
    if (borderedRowView_) borderedRowView_->setBordered(true);
}

void TableViewMenu::menuDidClose() {
    if (borderedRowView_) borderedRowView_->setBordered(false);
}

}  // namespace tallowmere
