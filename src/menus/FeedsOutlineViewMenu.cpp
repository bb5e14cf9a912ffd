#include "menus/FeedsOutlineViewMenu.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudUserManager.h"
#include "feeds/FeedsManager.h"
#include "menus/StoredObjectReading.h"
#include "sources/NodesSource.h"
#include "window/Action.h"
#include "window/ActionRouter.h"

namespace tallowmere {

namespace {

std::mutex sharedServicesMutex;
std::optional<FeedsOutlineViewMenu::Services> sharedServices;

}  // namespace

FeedsOutlineViewMenu::Services FeedsOutlineViewMenu::Services::shared() {
    {
        std::lock_guard lock(sharedServicesMutex);
        if (sharedServices) return *sharedServices;
    }
    return {NodesSource::shared(), &FeedsManager::shared()};
}

void FeedsOutlineViewMenu::Services::setShared(std::optional<Services> services) {
    std::lock_guard lock(sharedServicesMutex);
    sharedServices = std::move(services);
}

FeedsOutlineViewMenu::FeedsOutlineViewMenu(Node node, int row, QWidget* parent)
    : FeedsOutlineViewMenu(std::move(node), row, std::nullopt, parent) {}

FeedsOutlineViewMenu::FeedsOutlineViewMenu(Node node, int row, std::optional<Services> services, QWidget* parent)
    : TableViewMenu(parent), node_(std::move(node)), row_(row), services_(std::move(services)) {
    if (std::optional<Feed> feed = node_.asFeed()) {
        QAction* notify = addItem("notify_updates");
        notify->setCheckable(true);
        notify->setChecked(readUnlessGone(*feed, false, [&] { return feed->notifyUpdates(); }));
        // The action has flipped its mark by the time it reports the choice.
        connect(notify, &QAction::triggered, this, [this](bool checked) { toggleNotifyUpdates(!checked); });
        connect(addItem("copy_feed_url"), &QAction::triggered, this, &FeedsOutlineViewMenu::copyFeedURL);
        addSeparator();
    } else if (node_.isFolder()) {
        connect(addItem("rename"), &QAction::triggered, this, &FeedsOutlineViewMenu::renameFolder);
        addSeparator();
    }
    connect(addItem("remove"), &QAction::triggered, this, &FeedsOutlineViewMenu::removeNode);
}

QAction* FeedsOutlineViewMenu::addItem(std::string_view key) {
    return addAction(QString::fromStdString(localized(key)));
}

FeedsOutlineViewMenu::Services FeedsOutlineViewMenu::services() const {
    return services_ ? *services_ : Services::shared();
}

void FeedsOutlineViewMenu::toggleNotifyUpdates(bool shownOn) {
    const std::optional<Feed> feed = node_.asFeed();
    if (!feed) return;
    const Services services = this->services();
    if (isPresent(*feed)) services.nodesSource->setNotifyUpdates(*feed, !shownOn);
    // The subscription and the record follow every feed that notifies now.
    std::shared_ptr<CloudUserManager> user = CloudUserManager::shared();
    auto saveLists = [user] { user->saveNotificationFeedLists(std::nullopt, {}); };
    if (std::optional<std::vector<Feed>> notifying = services.nodesSource->notifyingFeeds()) {
        CloudNotificationsManager::shared()->updateNewArticleSubscription(std::move(*notifying), saveLists);
        return;
    }
    user->guidRecordQueue().async(saveLists);
}

void FeedsOutlineViewMenu::copyFeedURL() {
    const std::optional<Feed> feed = node_.asFeed();
    if (!feed) return;
    const std::optional<std::string> url =
        readUnlessGone(*feed, std::optional<std::string>(), [&] { return feed->url(); });
    if (!url) return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(*url));
}

void FeedsOutlineViewMenu::renameFolder() {
    sendActionToTarget(Action::renameFolderAt, row_ >= 0 ? std::any(row_) : std::any());
}

void FeedsOutlineViewMenu::removeNode() {
    // The alert runs its own event loop, in which this menu may go away (an
    // open popup closes when a modal window shows): what the deletion needs
    // is taken first, and nothing of the menu is used after the alert.
    const Node node = node_;
    const Services services = this->services();
    QWidget* window = parentWidget() ? parentWidget()->window() : nullptr;
    const std::string name = readUnlessGone(node, std::string(), [&] { return node.name().value_or(""); });
    if (!confirmRemoval(name, window)) return;
    // The node may have gone meanwhile too; then there is nothing to delete.
    if (!isPresent(node)) return;
    services.feedsManager->deleteNode(node, true);
}

bool FeedsOutlineViewMenu::confirmRemoval(const std::string& name, QWidget* window) {
    QMessageBox alert(window);
    alert.setIcon(QMessageBox::Warning);
    alert.setText(QString::fromStdString(localized("remove_confirmation")));
    alert.setInformativeText(shownName(name, alert));
    // A name is shown as written, never as markup.
    if (auto* informative = alert.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
    }
    QPushButton* ok = alert.addButton(QString::fromStdString(localized("ok")), QMessageBox::AcceptRole);
    alert.addButton(QString::fromStdString(localized("cancel")), QMessageBox::RejectRole);
    alert.setDefaultButton(ok);
    alert.exec();
    return alert.clickedButton() == ok;
}

QString FeedsOutlineViewMenu::shownName(const std::string& name, const QWidget& alert) {
    // Line breaks would make the alert as tall as the name is long.
    const QString oneLine = QString::fromStdString(name).simplified();
    const QScreen* screen = alert.screen() ? alert.screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : maximumNameWidth * 2;
    const int width = std::max(1, std::min(maximumNameWidth, screenWidth / 2));
    return QFontMetrics(alert.font()).elidedText(oneLine, Qt::ElideMiddle, width);
}

}  // namespace tallowmere
