#include "menus/ArticlesTableViewMenu.h"

#include <utility>

namespace tallowmere {

ArticlesTableViewMenu::ArticlesTableViewMenu(Article article, QWidget* parent)
    : TableViewMenu(parent), article_(std::move(article)) {}

}  // namespace tallowmere
