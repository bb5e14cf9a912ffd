#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Localizable.h"
#include "menus/ShareService.h"
#include "menus/TableViewMenu.h"
#include "store/Article.h"

namespace tallowmere {

class ArticlesSource;

// Context menu of one article-list row: the article's read and starred
// state, a share submenu for its link, and the article in the web browser.
// It holds the article until it is released.
class ArticlesTableViewMenu : public TableViewMenu, public Localizable<ArticlesTableViewMenu> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "ArticlesTableViewMenu";
    static constexpr const char* copyArticleURLImage = "ArticleCopyURL";

    // `source` is the article source that lists the article; it must outlive the menu.
    ArticlesTableViewMenu(Article article, ArticlesSource& source, QWidget* parent = nullptr);

    const Article& article() const { return article_; }

    // The items' actions.
    void toggleRead();
    void toggleStarred();
    void viewInDefaultBrowser();
    // The share submenu: our own copy service, then what the desktop offers
    // for the link. None when the article has no link that is an absolute URL.
    QMenu* shareMenu();
    // Shares what the entry carries; an entry carrying anything else is ignored.
    void performShare(QAction* sender);

    // The services of the share submenu, in its order (none without one).
    const std::vector<std::shared_ptr<ShareService>>& shareServices() const { return shareServices_; }

private:
    QAction* addItem(std::string_view key);
    std::shared_ptr<ShareService> copyArticleURLService(const std::string& link) const;

    Article article_;
    ArticlesSource& source_;
    std::vector<std::shared_ptr<ShareService>> shareServices_;
};

}  // namespace tallowmere
