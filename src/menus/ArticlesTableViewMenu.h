#pragma once

#include "menus/TableViewMenu.h"
#include "store/Article.h"

namespace tallowmere {

// Context menu of one article-list row. It keeps its article for the actions
// of its items; the items themselves come with the article-list menu.
class ArticlesTableViewMenu : public TableViewMenu {
    Q_OBJECT
public:
    explicit ArticlesTableViewMenu(Article article, QWidget* parent = nullptr);

    const Article& article() const { return article_; }

private:
    Article article_;
};

}  // namespace tallowmere
