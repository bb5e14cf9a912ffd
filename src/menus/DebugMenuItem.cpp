#include "menus/DebugMenuItem.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <cmath>
#include <memory>

#include "cloud/CloudSyncManager.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "sources/SearchManager.h"

namespace tallowmere {

DebugMenuItem::DebugMenuItem(SearchManager* search) : MenuItem({}, title), search_(search) {
    setValidatesItems(false);
    addRows(menuRows());
}

std::vector<MenuRow> DebugMenuItem::menuRows() {
    auto command = [](const char* titleText, const char* selector) {
        auto row = menuEntry(titleText, selector);
        row.target = MenuTarget::item;
        return row;
    };
    return {
        command("Reindex current articles", "reindexArticles:"),
        MenuRow::separatorRow(),
        command("Remove All Nodes", "removeAllNodes"),
        MenuRow::separatorRow(),
        command("Send Articles Info", "sendArticlesInfo"),
        command("Sync Articles Info", "syncArticlesInfo"),
    };
}

SearchManager& DebugMenuItem::search() const { return search_ ? *search_ : SearchManager::shared(); }

void DebugMenuItem::performItemCommand(const MenuRow& row, QAction* sender) {
    if (row.selector == "reindexArticles:") {
        reindexArticles(sender);
    } else if (row.selector == "removeAllNodes") {
        NodesSource::shared()->removeAllNodes();
    } else if (row.selector == "sendArticlesInfo") {
        CloudSyncManager::shared()->uploadSyncInfo(true, [] {});
    } else if (row.selector == "syncArticlesInfo") {
        CloudSyncManager::shared()->downloadSyncInfo([] {});
    }
}

void DebugMenuItem::reindexArticles(QAction* sender) {
    auto& source = ArticlesSource::shared();
    std::vector<Article> articles;
    for (std::size_t row = 0; row < source.numberOfArticles(); ++row) {
        if (auto article = source.article(row)) articles.push_back(*article);
    }
    reindex(std::move(articles), sender);
}

int DebugMenuItem::percentage(std::size_t index, std::size_t count) {
    // Halves round away from zero: 1 of 200 is 1%, 199 of 200 is 100%.
    return static_cast<int>(std::round(static_cast<double>(index) / static_cast<double>(count) * 100));
}

void DebugMenuItem::reindex(std::vector<Article> articles, QAction* sender) {
    if (sender) sender->setEnabled(false);
    QPointer<QMenu> menu(this->menu());
    QPointer<QAction> item(sender);
    SearchManager* search = &this->search();
    dispatch::GlobalQueue::shared(dispatch::QualityOfService::utility).async([articles = std::move(articles), menu, item, search] {
        auto& main = dispatch::MainQueue::shared();
        int shown = -1;
        // The share of the list walked so far, of the list itself: its size
        // is the one count that cannot change (or be 0) while it is walked.
        for (std::size_t index = 0; index < articles.size(); ++index) {
            const int percent = percentage(index, articles.size());
            if (percent != shown) {
                shown = percent;
                main.async([menu, percent] {
                    if (menu) menu->setTitle(QStringLiteral("Indexing... %1%").arg(percent));
                });
            }
            search->indexArticle(articles[index]);
        }
        search->searchQueue().async([search] { search->compactIndex(); });
        main.async([menu, item] {
            if (menu) menu->setTitle(QString::fromLatin1(title));
            if (item) item->setEnabled(true);
        });
    });
}

}  // namespace tallowmere
