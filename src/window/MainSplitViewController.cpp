#include "window/MainSplitViewController.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QSplitterHandle>
#include <QStringList>
#include <QUrl>

#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudNotificationsManagerDelegate.h"
#include "cloud/CloudUserManager.h"
#include "cloud/LocalNotificationsManager.h"
#include "feeds/AddFeedOptions.h"
#include "feeds/FeedBatchOptions.h"
#include "feeds/FeedsManager.h"
#include "feeds/OPMLManager.h"
#include "foundation/Logger.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "reader/ReaderManagementToolbar.h"
#include "reader/ReaderViewController.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "store/DefaultConfig.h"
#include "store/PersistentState.h"
#include "store/Preferences.h"
#include "themes/ThemesManager.h"
#include "window/ArticlesManagementToolbar.h"
#include "window/ArticlesTableView.h"
#include "window/ArticlesViewController.h"
#include "window/FeedAddViewController.h"
#include "window/FeedsManagementToolbar.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/FeedsViewController.h"

namespace tallowmere {
namespace {

// The divider: one pixel of the theme's separator colour.
class MainSplitHandle : public QSplitterHandle {
public:
    MainSplitHandle(Qt::Orientation orientation, MainSplitView* parent) : QSplitterHandle(orientation, parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), static_cast<MainSplitView*>(splitter())->dividerColor());
    }
};

// Reaches the controller from the notification managers' threads; the
// managers hold it weakly, the controller strongly.
class SplitNotificationsDelegate : public CloudNotificationsManagerDelegate {
public:
    explicit SplitNotificationsDelegate(MainSplitViewController* controller) : controller_(controller) {}

    void showArticle(const Article& article) override {
        QPointer<MainSplitViewController> controller = controller_;
        dispatch::MainQueue::shared().async([controller, id = article.objectID()] {
            if (!controller) return;
            if (auto listed = ArticlesSource::shared().article(id)) controller->showArticle(*listed);
        });
    }
    void userRecordDidChange() override {
        QPointer<MainSplitViewController> controller = controller_;
        dispatch::MainQueue::shared().async([controller] {
            if (controller) controller->userRecordDidChange();
        });
    }

private:
    QPointer<MainSplitViewController> controller_;
};

// A value handed over with a command: the value itself, or the data of the
// menu entry that sent it.
template <typename T>
std::optional<T> commandValue(const ActionArguments& arguments) {
    if (auto value = arguments.first<T>()) return value;
    auto action = arguments.first<QAction*>();
    if (!action || !*action) return std::nullopt;
    const QVariant data = (*action)->data();
    if (data.metaType() != QMetaType::fromType<T>()) return std::nullopt;
    return data.value<T>();
}

// Links open only as web pages, mail or feeds; anything else could start
// some other program on the user's machine.
bool opensInBrowser(const QUrl& url) {
    static const QStringList schemes = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto"),
                                        QStringLiteral("feed")};
    return url.isValid() && schemes.contains(url.scheme().toLower());
}

std::optional<std::string> linkOf(const Article& article) {
    graph::Context* context = article.context();
    if (!context) return std::nullopt;
    std::optional<std::string> link;
    context->performAndWait([&] { link = article.link(); });
    if (link && link->empty()) return std::nullopt;
    return link;
}

// An open or save panel for OPML files, without a suggested name, gone once closed.
QFileDialog* opmlPanel(QWidget* window, QFileDialog::AcceptMode mode) {
    auto* panel = new QFileDialog(window, QString(), QString(), QStringLiteral("OPML (*.opml *.xml)"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setAcceptMode(mode);
    panel->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    return panel;
}

}  // namespace

// --- MainSplitView ---

MainSplitView::MainSplitView(QWidget* parent) : QSplitter(Qt::Horizontal, parent) {
    setObjectName(QStringLiteral("MainSplitView"));
    setHandleWidth(dividerThickness);
    setChildrenCollapsible(false);
    applyTheme();
}

QColor MainSplitView::dividerColor() const { return ThemesManager::shared().colors().separator; }

void MainSplitView::applyTheme() {
    for (int index = 0; index < count(); ++index) handle(index)->update();
}

QSplitterHandle* MainSplitView::createHandle() { return new MainSplitHandle(orientation(), this); }

// --- Set-up ---

MainSplitViewController::MainSplitViewController(QObject* parent)
    : desktop::ViewController(parent),
      feedsViewController_(new FeedsViewController(FeedsViewController::Services::shared())),
      articlesViewController_(new ArticlesViewController()),
      readerViewController_(new ReaderViewController(nullptr, ReaderView::EngineStart::afterFirstPaint)),
      feedsRefreshGroup_(std::make_shared<dispatch::DispatchGroup>()),
      notificationsDelegate_(std::make_shared<SplitNotificationsDelegate>(this)),
      defaultFeeds_(DefaultConfig::defaultFeeds.begin(), DefaultConfig::defaultFeeds.end()) {
    addChild(feedsViewController_);
    addChild(articlesViewController_);
    addChild(readerViewController_);
}

MainSplitViewController::~MainSplitViewController() = default;

void MainSplitViewController::loadView() {
    splitView_ = new MainSplitView;
    setView(splitView_);
}

void MainSplitViewController::viewDidLoad() {
    layOutPanes();
    feedsViewController_->feedsManagementToolbar()->setDelegate(this);
    articlesViewController_->setDelegate(readerViewController_);
    connect(readerViewController_, &ReaderViewController::showNextArticleRequested, this,
            &MainSplitViewController::showNextArticle);
    connect(readerViewController_, &ReaderViewController::viewSelectedArticleInDefaultBrowserRequested, this,
            [this] { viewArticleInDefaultBrowser(articlesViewController_->selectedArticle()); });
    applyTheme();
    restoreDividers();
    chooseNotificationsManager();
    auto preferences = Preferences::shared();
    if (preferences->showOldestUnreadArticlesFirst()) setUnreadArticlesFirst(true);
    applyGroupArticlesByFeed();
    articlesViewController_->reloadArticles();
    QPointer<MainSplitViewController> self(this);
    syncCloudFeeds(preferences->feedsRefreshInterval() == FeedsRefreshInterval::never, [self] {
        if (self) self->addDefaultFeedsOnFirstLaunch();
    });
}

void MainSplitViewController::layOutPanes() {
    QWidget* feeds = feedsViewController_->view();
    feeds->setMinimumWidth(feedsMinimumThickness);
    feeds->setMaximumWidth(feedsMaximumThickness);
    QWidget* articles = articlesViewController_->view();
    articles->setMinimumWidth(articlesMinimumThickness);
    articles->setMaximumWidth(articlesMaximumThickness);
    splitView_->addWidget(feeds);
    splitView_->addWidget(articles);
    splitView_->addWidget(readerViewController_->view());
    // The reader takes whatever the two fixed-range panes leave.
    splitView_->setStretchFactor(0, 0);
    splitView_->setStretchFactor(1, 0);
    splitView_->setStretchFactor(2, 1);
    splitView_->installEventFilter(this);
    connect(splitView_, &QSplitter::splitterMoved, this, &MainSplitViewController::saveDividers);
}

bool MainSplitViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == splitView_) {
        if (event->type() == QEvent::Resize) showSidebarForWidth(splitView_->width());
        // Commands travel from the focus widget up; a window shown without
        // one would never reach this controller.
        if (event->type() == QEvent::Show && !splitView_->window()->focusWidget())
            feedsViewController_->feedsOutlineView()->setFocus();
    }
    return desktop::ViewController::eventFilter(watched, event);
}

void MainSplitViewController::showSidebarForWidth(int width) {
    QWidget* sidebar = feedsViewController_->view();
    const bool inline_ = width >= minimumThicknessForInlineSidebars;
    if (sidebar->isVisibleTo(splitView_) != inline_) sidebar->setVisible(inline_);
}

void MainSplitViewController::saveDividers() {
    if (restoringDividers_ || !feedsViewController_->view()->isVisibleTo(splitView_)) return;
    QStringList sizes;
    for (int size : splitView_->sizes()) sizes.append(QString::number(size));
    PersistentState::shared()->defaults().set(autosaveName, sizes.join(u' ').toStdString());
}

void MainSplitViewController::restoreDividers() {
    QList<int> sizes{feedsMinimumThickness, articlesMinimumThickness, 1};
    if (const auto saved = PersistentState::shared()->defaults().string(autosaveName)) {
        const QStringList parts = QString::fromStdString(*saved).split(u' ', Qt::SkipEmptyParts);
        QList<int> read;
        for (const QString& part : parts) {
            bool ok = false;
            const int size = part.toInt(&ok);
            if (ok && size >= 0) read.append(size);
        }
        if (read.size() == 3) sizes = read;
    }
    restoringDividers_ = true;
    splitView_->setSizes(sizes);
    restoringDividers_ = false;
}

void MainSplitViewController::applyTheme() {
    const bool toolbarsBackground = ThemesManager::shared().settings().useToolbarsBackgroundColor;
    if (QWidget* effect = articlesViewController_->contentEffectView()) effect->setHidden(toolbarsBackground);
    if (QWidget* effect = readerViewController_->contentEffectView()) effect->setHidden(toolbarsBackground);
    if (splitView_) splitView_->applyTheme();
}

void MainSplitViewController::chooseNotificationsManager() {
    std::weak_ptr<CloudNotificationsManagerDelegate> delegate = notificationsDelegate_;
    auto choose = [delegate](bool cloud) {
        if (cloud) {
            if (auto manager = CloudNotificationsManager::shared()) manager->setDelegate(delegate);
        } else if (auto manager = LocalNotificationsManager::shared()) {
            manager->setDelegate(delegate);
        }
    };
    auto users = CloudUserManager::shared();
    if (!users) return choose(false);
    if (const auto authenticated = users->isAuthenticated()) {
        return choose(*authenticated && Preferences::shared()->cloudEnabled());
    }
    users->userRecordQueue().async([users, choose] {
        users->fetchUserRecord([users, choose](auto&&...) {
            // Nothing (still unknown) and true choose the cloud's notifications.
            const auto reply = users->cloudAvailabilityReply();
            dispatch::MainQueue::shared().async([choose, cloud = reply.value_or(true)] { choose(cloud); });
        });
    });
}

// --- Refresh progress ---

void MainSplitViewController::showRefreshProgress() {
    ++runningOperations_;
    feedsViewController_->feedsManagementToolbar()->setRefreshProgressHidden(false);
}

void MainSplitViewController::hideRefreshProgress() {
    if (runningOperations_ > 0) --runningOperations_;
    if (runningOperations_ == 0) feedsViewController_->feedsManagementToolbar()->setRefreshProgressHidden(true);
}

void MainSplitViewController::enterRefreshGroup() {
    ++refreshGroupHolders_;
    feedsRefreshGroup_->enter();
}

void MainSplitViewController::leaveRefreshGroup() {
    --refreshGroupHolders_;
    feedsRefreshGroup_->leave();
}

// --- Cloud feed sync and first launch ---

void MainSplitViewController::syncCloudFeeds(bool hidingProgress, std::function<void()> completion) {
    enterRefreshGroup();
    showRefreshProgress();
    QPointer<MainSplitViewController> self(this);
    auto ended = std::make_shared<bool>(false);
    auto finish = [self, ended, hidingProgress, completion = std::move(completion)](bool timedOut) {
        if (*ended || !self) return;
        *ended = true;
        if (timedOut) Logger::warning([] { return std::string("the cloud feed sync did not answer; given up"); });
        if (hidingProgress) {
            self->hideRefreshProgress();
        } else {
            // The first full refresh hides the spinner when it ends.
            ++self->progressHandovers_;
        }
        self->leaveRefreshGroup();
        if (completion) completion();
    };
    auto& mainQueue = dispatch::MainQueue::shared();
    mainQueue.asyncAfter(cloudSyncTimeout_, [finish] { finish(true); });
    auto users = CloudUserManager::shared();
    if (!users) {
        mainQueue.async([finish] { finish(false); });
        return;
    }
    users->syncFeeds([finish] { dispatch::MainQueue::shared().async([finish] { finish(false); }); });
}

void MainSplitViewController::addDefaultFeedsOnFirstLaunch() {
    auto state = PersistentState::shared();
    if (!state->firstLaunch()) return;
    state->setFirstLaunch(false);
    if (!NodesSource::shared()->allFeeds().empty() || defaultFeeds_.empty()) return;
    std::vector<FeedsManager::FeedEntry> entries;
    for (const std::string& url : defaultFeeds_) entries.push_back({url, std::nullopt});
    showRefreshProgress();
    QPointer<MainSplitViewController> self(this);
    FeedsManager::shared().addFeeds(std::move(entries), FeedBatchOptions{}, [self](std::size_t) {
        dispatch::MainQueue::shared().async([self] {
            if (self) self->hideRefreshProgress();
        });
    });
}

void MainSplitViewController::userRecordDidChange() { syncCloudFeeds(true); }

void MainSplitViewController::showArticle(const Article& article) {
    showSmartGroup(FeedsSmartGroup::all);
    if (auto* toolbar = articlesViewController_->articlesManagementToolbar()) toolbar->hideSearchField();
    QPointer<MainSplitViewController> self(this);
    dispatch::MainQueue::shared().async([self, article] {
        if (self) self->articlesViewController_->selectArticle(article);
    });
}

// --- Refresh ---

void MainSplitViewController::refreshFeeds() {
    QPointer<MainSplitViewController> self(this);
    feedsRefreshGroup_->notify(dispatch::MainQueue::shared(), [self] {
        if (self) self->startRefreshWhenIdle();
    });
}

void MainSplitViewController::startRefreshWhenIdle() {
    // Two waiting refreshes are both told the group is empty; the second
    // waits again for the first instead of running beside it.
    if (isRefreshGroupBusy()) return refreshFeeds();
    enterRefreshGroup();
    if (progressHandovers_ > 0) {
        --progressHandovers_;
    } else {
        showRefreshProgress();
    }
    QPointer<MainSplitViewController> self(this);
    // Starting a thousand fetches waits for room among the running ones; off
    // the main thread, so that the window keeps answering meanwhile.
    dispatch::GlobalQueue::shared(dispatch::QualityOfService::userInitiated)
        .async([self, feeds = NodesSource::shared()->allFeeds()] {
            FeedsManager::shared().refresh(feeds, false, [self](std::optional<RSSServiceError>) {
                dispatch::MainQueue::shared().async([self] {
                    if (self) self->refreshDidEnd();
                });
            });
        });
}

void MainSplitViewController::refreshDidEnd() {
    hideRefreshProgress();
    ArticlesSource& source = ArticlesSource::shared();
    const auto& info = source.feedsInfo();
    // Other lists take the new rows from their change reports.
    if (info && (info->filter == ArticlesSourceFilter::today || info->filter == ArticlesSourceFilter::unread)) {
        source.setResultsControllerNeedsUpdate(true);
        source.updateResultsController();
        articlesViewController_->reloadArticles();
    }
    leaveRefreshGroup();
    Q_EMIT feedsRefreshDidEnd();
}

// --- Commands ---

bool MainSplitViewController::respondsToAction(Action) const { return true; }

void MainSplitViewController::performAction(Action action, const ActionArguments& arguments) {
    switch (action) {
        case Action::addFeed: return addFeed();
        case Action::addFeedFromFolder:
            if (auto address = arguments.first<std::string>()) addFeedFromFolder(*address, arguments.second<std::string>());
            return;
        case Action::refreshFeeds: return refreshFeeds();
        case Action::importOPML: return importOPML();
        case Action::exportOPML: return exportOPML();
        case Action::showNextFeed: return showNextFeed();
        case Action::showPreviousFeed: return feedsViewController_->showPreviousFeed();
        case Action::showSmartGroup:
            if (auto group = commandValue<FeedsSmartGroup>(arguments)) showSmartGroup(*group);
            return;
        case Action::setArticlesFilter: return setArticlesFilter(arguments);
        case Action::showNextArticle: return showNextArticle();
        case Action::showPreviousArticle: return showPreviousArticle();
        case Action::markSelectedArticleAsUnread: return markSelectedArticleAsUnread();
        case Action::markSelectedArticleAsStarred: return articlesViewController_->markSelectedArticleAsStarred();
        case Action::showArticlesSearchField:
            if (auto* toolbar = articlesViewController_->articlesManagementToolbar()) toolbar->showSearchField();
            return;
        case Action::setReaderReadMode:
            if (auto mode = commandValue<ReaderReadMode>(arguments)) setReaderReadMode(*mode);
            return;
        case Action::showFullArticle: return setReaderReadMode(ReaderReadMode::readable);
        case Action::viewSelectedArticleInDefaultBrowser:
            return viewArticleInDefaultBrowser(articlesViewController_->selectedArticle());
        case Action::viewArticleInDefaultBrowser: return viewArticleInDefaultBrowser(arguments.first<Article>());
        case Action::copyArticleURL: return copyArticleURL();
        case Action::showOldestUnreadArticlesFirst: return setUnreadArticlesFirst(true);
        case Action::showNewestUnreadArticlesFirst: return setUnreadArticlesFirst(false);
        case Action::toggleGroupArticlesByFeed: return toggleGroupArticlesByFeed();
        case Action::articlesMarkAsRead: return articlesViewController_->articlesMarkAsRead();
        case Action::searchTextDidChangeWithText:
            if (auto text = arguments.first<std::string>()) articlesViewController_->searchTextDidChange(*text);
            return;
        case Action::renameFolderAt:
            if (auto row = commandValue<int>(arguments)) renameFolderAt(*row);
            return;
        case Action::resetFeedsSorting: return resetFeedsSorting();
        case Action::reloadArticlesWithForce:
            if (auto force = commandValue<bool>(arguments)) reloadArticlesWithForce(*force);
            return;
    }
}

void MainSplitViewController::addFeed() {
    feedsViewController_->feedsOutlineView()->clearSelection();
    feedsViewController_->presentAsSheet(new FeedAddViewController(NodesSource::shared()));
}

void MainSplitViewController::addFeedFromFolder(const std::string& address, const std::optional<std::string>& folder) {
    if (address.empty()) {
        auto nodes = NodesSource::shared();
        if (folder && !folder->empty() && !nodes->folder(*folder)) nodes->addFolder(*folder);
        return;
    }
    showRefreshProgress();
    QPointer<MainSplitViewController> self(this);
    FeedsManager::shared().addFeed(
        address, folder, AddFeedOptions::all(), [self, address](bool, std::optional<FeedsManagerError> error) {
            dispatch::MainQueue::shared().async([self, address, error] {
                if (!self) return;
                self->hideRefreshProgress();
                if (!error) return self->feedsViewController_->selectFeed(address);
                // A cancelled addition has nothing to tell.
                if (auto text = error->errorDescription()) self->showAlert(QString::fromStdString(*text));
            });
        });
}

void MainSplitViewController::showAlert(const QString& text) {
    QPointer<MainSplitViewController> self(this);
    dispatch::MainQueue::shared().async([self, text] {
        if (!self) return;
        Q_EMIT self->alertWillOpen(text);
        auto* alert = new QMessageBox(QMessageBox::Warning, QApplication::applicationName(), text, QMessageBox::Ok,
                                      self->view()->window());
        alert->setObjectName(QStringLiteral("MainSplitViewAlert"));
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->setWindowModality(Qt::ApplicationModal);
        alert->show();
    });
}

void MainSplitViewController::importOPML() {
    auto* panel = opmlPanel(view()->window(), QFileDialog::AcceptOpen);
    QPointer<MainSplitViewController> self(this);
    connect(panel, &QFileDialog::fileSelected, this, [self](const QString& file) {
        if (!self || file.isEmpty()) return;
        self->showRefreshProgress();
        OPMLManager::shared().importOPML(file.toStdString(), [self](std::optional<OPMLError> error, std::size_t) {
            dispatch::MainQueue::shared().async([self, error] {
                if (!self) return;
                self->hideRefreshProgress();
                if (error) self->showAlert(QString::fromStdString(error->message));
            });
        });
    });
    panel->open();
}

void MainSplitViewController::exportOPML() {
    auto* panel = opmlPanel(view()->window(), QFileDialog::AcceptSave);
    QPointer<MainSplitViewController> self(this);
    connect(panel, &QFileDialog::fileSelected, this, [self](const QString& file) {
        if (!self || file.isEmpty()) return;
        if (auto error = OPMLManager::shared().exportOPML(file.toStdString()))
            self->showAlert(QString::fromStdString(error->message));
    });
    panel->open();
}

void MainSplitViewController::showNextFeed() {
    FeedsOutlineView* outline = feedsViewController_->feedsOutlineView();
    const int row = outline->selectedRow() + 1;
    if (row < 0 || row >= outline->numberOfRows()) return;
    outline->scrollRowToVisible(row);
    outline->selectRow(row);
}

void MainSplitViewController::showSmartGroup(FeedsSmartGroup group) {
    const int row = static_cast<int>(group);
    FeedsOutlineView* outline = feedsViewController_->feedsOutlineView();
    if (row >= outline->numberOfRows()) return;
    outline->scrollRowToVisible(row);
    outline->selectRow(row);
}

void MainSplitViewController::setArticlesFilter(const ActionArguments& arguments) {
    // Only a menu entry carries a filter; anything else sends nothing to apply.
    const auto action = arguments.first<QAction*>();
    if (!action || !*action) return;
    std::optional<ArticlesSourceFilter> filter;
    const QVariant data = (*action)->data();
    if (data.metaType() == QMetaType::fromType<ArticlesSourceFilter>()) filter = data.value<ArticlesSourceFilter>();
    ArticlesSource& source = ArticlesSource::shared();
    if (!source.feedsInfo()) return;
    ArticlesSourceFeedsInfo info = *source.feedsInfo();
    info.filter = filter;
    source.setFeedsInfo(info);
}

namespace {

// Selects the list's row `selected + step` when there is such a row.
void stepArticleRow(ArticlesTableView* table, int step) {
    QItemSelectionModel* selection = table->selectionModel();
    if (!selection || !table->model()) return;
    const QModelIndexList rows = selection->selectedRows();
    const int selected = rows.isEmpty() ? -1 : rows.first().row();
    const int row = selected + step;
    if (row < 0 || row >= table->model()->rowCount()) return;
    const QModelIndex index = table->model()->index(row, 0);
    table->scrollTo(index);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace

void MainSplitViewController::showNextArticle() { stepArticleRow(articlesViewController_->articlesTableView(), 1); }

void MainSplitViewController::showPreviousArticle() {
    ArticlesTableView* table = articlesViewController_->articlesTableView();
    // With nothing selected there is no previous article.
    if (!table->selectionModel() || !table->selectionModel()->hasSelection()) return;
    stepArticleRow(table, -1);
}

void MainSplitViewController::markSelectedArticleAsUnread() {
    const auto& article = articlesViewController_->selectedArticle();
    if (!article || !article->context()) return;
    ArticlesSource::shared().setRead(*article, false, {});
}

void MainSplitViewController::setReaderReadMode(ReaderReadMode mode) {
    readerViewController_->setReadMode(mode);
    readerViewController_->readerManagementToolbar()->setSelectedSegment(readerSegment(mode));
    readerViewController_->reloadArticle();
}

void MainSplitViewController::viewArticleInDefaultBrowser(const std::optional<Article>& article) {
    if (!article) return;
    const auto link = linkOf(*article);
    if (!link) return;
    const QUrl url(QString::fromStdString(*link), QUrl::StrictMode);
    if (!opensInBrowser(url)) {
        Logger::info([&] { return "not opened, no web, mail or feed address: " + *link; });
        return;
    }
    QDesktopServices::openUrl(url);
}

void MainSplitViewController::copyArticleURL() {
    const auto& article = articlesViewController_->selectedArticle();
    if (!article) return;
    const auto link = linkOf(*article);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!link || !clipboard) return;
    clipboard->clear();
    clipboard->setText(QString::fromStdString(*link));
}

void MainSplitViewController::setUnreadArticlesFirst(bool oldestFirst) {
    articlesViewController_->setSortUnreadAscending(oldestFirst);
    feedsViewController_->reloadRows();
    Preferences::shared()->setShowOldestUnreadArticlesFirst(oldestFirst);
}

void MainSplitViewController::toggleGroupArticlesByFeed() {
    auto preferences = Preferences::shared();
    preferences->setGroupArticlesByFeed(!preferences->groupArticlesByFeed());
    applyGroupArticlesByFeed();
    articlesViewController_->reloadArticles();
}

void MainSplitViewController::applyGroupArticlesByFeed() {
    ArticlesSource& source = ArticlesSource::shared();
    const bool group = Preferences::shared()->groupArticlesByFeed();
    if (source.groupByFeed() == group) return;
    source.setGroupByFeed(group);
    source.setResultsControllerNeedsUpdate(true);
    source.updateResultsController();
}

void MainSplitViewController::renameFolderAt(int row) { feedsViewController_->beginRename(row); }

void MainSplitViewController::resetFeedsSorting() {
    NodesSource::shared()->resetSorting();
    feedsViewController_->outlineModel()->reload();
}

void MainSplitViewController::reloadArticlesWithForce(bool force) {
    ArticlesSource& source = ArticlesSource::shared();
    if (force) source.setResultsControllerNeedsUpdate(true);
    source.updateResultsController();
    articlesViewController_->reloadArticles();
}

// --- Keys ---

bool MainSplitViewController::handleKeyEvent(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    QWidget* window = isViewLoaded() ? view()->window() : nullptr;
    ArticlesTableView* table = articlesViewController_->articlesTableView();
    switch (event->key()) {
        case Qt::Key_Right:
            if (window && window->focusWidget() == table) {
                setReaderReadMode(ReaderReadMode::web);
            } else if (window) {
                table->setFocus(Qt::OtherFocusReason);
            }
            return true;
        case Qt::Key_Left:
            if (readerViewController_->readMode() == ReaderReadMode::web) {
                setReaderReadMode(ReaderReadMode::preview);
            } else if (window) {
                feedsViewController_->feedsOutlineView()->setFocus(Qt::OtherFocusReason);
            }
            return true;
        case Qt::Key_Space: showNextArticle(); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: viewArticleInDefaultBrowser(articlesViewController_->selectedArticle()); return true;
        default: return false;
    }
}

}  // namespace tallowmere
