#include "menus/FeedsOutlineViewMenu.h"

#include <utility>

namespace tallowmere {

FeedsOutlineViewMenu::FeedsOutlineViewMenu(Node node, int row, QWidget* parent)
    : TableViewMenu(parent), node_(std::move(node)), row_(row) {}

}  // namespace tallowmere
