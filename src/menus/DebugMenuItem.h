#pragma once

#include <vector>

#include "menus/MenuItem.h"
#include "store/Article.h"

namespace tallowmere {

class SearchManager;

// Maintenance commands for development, under fixed English titles: index
// the listed articles again, delete every feed and folder, push or pull the
// read and starred state through the cloud. Its entries are never enabled
// or disabled for display, so that the reindex entry stays disabled while
// it runs.
class DebugMenuItem : public MenuItem {
    Q_OBJECT
public:
    static constexpr const char* title = "Debug";

    // Indexes into the program's search index, or into `search` (which
    // must outlive every reindex started).
    explicit DebugMenuItem(SearchManager* search = nullptr);
    static std::vector<MenuRow> menuRows();

    // The listed articles of the article source, indexed again.
    void reindexArticles(QAction* sender);
    // Indexes the articles again on a background queue: the sender is
    // disabled meanwhile and the submenu's title shows the progress as
    // "Indexing... N%", set each time N changes; then the index is
    // compacted and the title and the sender are restored.
    void reindex(std::vector<Article> articles, QAction* sender);
    // "Indexing... N%" for position `index` of `count` articles.
    static int percentage(std::size_t index, std::size_t count);

protected:
    void performItemCommand(const MenuRow& row, QAction* sender) override;

private:
    SearchManager& search() const;

    SearchManager* search_;
};

}  // namespace tallowmere
