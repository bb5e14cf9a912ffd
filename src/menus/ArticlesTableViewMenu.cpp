#include "menus/ArticlesTableViewMenu.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QVariant>
#include <utility>

#include "menus/ArticlesTableViewMenuSharingInfo.h"
#include "menus/StoredObjectReading.h"
#include "sources/ArticlesSource.h"
#include "window/Action.h"
#include "window/ActionRouter.h"
#include "window/TintedImage.h"

namespace tallowmere {

ArticlesTableViewMenu::ArticlesTableViewMenu(Article article, ArticlesSource& source, QWidget* parent)
    : TableViewMenu(parent), article_(std::move(article)), source_(source) {
    const bool read = readUnlessGone(article_, false, [&] { return article_.isRead(); });
    const bool starred = readUnlessGone(article_, false, [&] { return article_.isStarred(); });
    connect(addItem(read ? "mark_as_unread" : "mark_as_read"), &QAction::triggered, this,
            &ArticlesTableViewMenu::toggleRead);
    connect(addItem(starred ? "remove_from_starred" : "mark_as_starred"), &QAction::triggered, this,
            &ArticlesTableViewMenu::toggleStarred);
    addSeparator();
    QAction* share = addItem("share");
    if (QMenu* submenu = shareMenu()) {
        share->setMenu(submenu);
    } else {
        // An entry that neither acts nor opens a submenu cannot be chosen.
        share->setEnabled(false);
    }
    addSeparator();
    connect(addItem("view_in_default_browser"), &QAction::triggered, this,
            &ArticlesTableViewMenu::viewInDefaultBrowser);
}

QAction* ArticlesTableViewMenu::addItem(std::string_view key) {
    return addAction(QString::fromStdString(localized(key)));
}

void ArticlesTableViewMenu::toggleRead() {
    if (!isPresent(article_)) return;
    const bool read = readUnlessGone(article_, false, [&] { return article_.isRead(); });
    // Queued on the article's context; the read date is taken now, at the choice.
    source_.setRead(article_, !read, {});
}

void ArticlesTableViewMenu::toggleStarred() {
    if (!isPresent(article_)) return;
    const bool starred = readUnlessGone(article_, false, [&] { return article_.isStarred(); });
    // Done before it returns; the source then tells the list, which redraws the row.
    source_.setStarred(article_, !starred, {});
}

void ArticlesTableViewMenu::viewInDefaultBrowser() { sendActionToTarget(Action::viewArticleInDefaultBrowser, article_); }

std::shared_ptr<ShareService> ArticlesTableViewMenu::copyArticleURLService(const std::string& link) const {
    const QIcon image(tinted(bundleImage(copyArticleURLImage), palette().color(QPalette::Text)));
    return std::make_shared<ShareService>(QString::fromStdString(localized("copy_article_url")), image,
                                          [text = QString::fromStdString(link)](const std::vector<URL>&) {
                                              QGuiApplication::clipboard()->setText(text);
                                          });
}

QMenu* ArticlesTableViewMenu::shareMenu() {
    const std::optional<std::string> link =
        readUnlessGone(article_, std::optional<std::string>(), [&] { return article_.link(); });
    const std::optional<URL> url = link ? URL::parse(*link) : std::nullopt;
    if (!url || !url->isAbsolute()) return nullptr;
    const std::vector<URL> items{*url};
    shareServices_ = {copyArticleURLService(*link)};
    for (auto& service : ShareService::sharingServices(items)) shareServices_.push_back(std::move(service));

    auto* submenu = new QMenu(this);
    for (const auto& service : shareServices_) {
        QAction* entry = submenu->addAction(service->image(), service->menuItemTitle());
        entry->setData(QVariant::fromValue(ArticlesTableViewMenuSharingInfo{service, items}));
        connect(entry, &QAction::triggered, this, [this, entry] { performShare(entry); });
    }
    return submenu;
}

void ArticlesTableViewMenu::performShare(QAction* sender) {
    if (!sender) return;
    const QVariant data = sender->data();
    if (data.metaType() != QMetaType::fromType<ArticlesTableViewMenuSharingInfo>()) return;
    const auto info = data.value<ArticlesTableViewMenuSharingInfo>();
    if (info.service) info.service->perform(info.items);
}

}  // namespace tallowmere
