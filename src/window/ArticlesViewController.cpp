#include "window/ArticlesViewController.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QUrl>

#include "cloud/CloudSyncManager.h"
#include "images/NodeIcons.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "sources/SearchManager.h"
#include "store/DataController.h"
#include "themes/ThemesManager.h"
#include "window/ArticlesManagementToolbar.h"
#include "window/ArticlesTableView.h"
#include "window/ArticlesViewControllerDelegate.h"

namespace tallowmere {

using Type = ArticlesChangingInfo::Type;

ArticlesViewController::Services ArticlesViewController::sharedServices() {
    Services services;
    services.source = &ArticlesSource::shared();
    services.dataController = DataController::shared();
    services.searchManager = &SearchManager::shared();
    services.iconSource = [](const Feed& feed, qreal size) {
        return NodeIcons::iconImage(*NodesSource::shared(), feed, QSizeF(size, size));
    };
    return services;
}

ArticlesViewController::ArticlesViewController(QObject* parent) : ArticlesViewController(sharedServices(), parent) {}

ArticlesViewController::ArticlesViewController(Services services, QObject* parent)
    : ScrollViewController(new ArticlesTableView, parent),
      services_(std::move(services)),
      source_(*services_.source),
      articlesTableView_(static_cast<ArticlesTableView*>(scrollView())),
      model_(new ArticlesListModel(source_, this)),
      cellView_(new ArticlesCellView(articlesTableView_, services_.iconSource)),
      noArticlesFoundTextField_(new QLabel) {
    articlesManagementToolbar_ = new ArticlesManagementToolbar;
    setTopToolbar(articlesManagementToolbar_);
    setBottomToolbar(nullptr);
    articlesManagementToolbar_->setDelegate(this);

    articlesTableView_->setModel(model_);
    articlesTableView_->setItemDelegate(cellView_);
    connect(articlesTableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });

    // Held by the source weakly; never owns the controller.
    sourceDelegate_ = std::shared_ptr<ArticlesSourceDelegate>(this, [](ArticlesSourceDelegate*) {});
    source_.setDelegate(sourceDelegate_);
}

ArticlesViewController::~ArticlesViewController() {
    if (source_.delegate() == sourceDelegate_) source_.setDelegate({});
    sourceDelegate_.reset();
    if (noArticlesFoundTextField_ && !noArticlesFoundTextField_->parentWidget()) delete noArticlesFoundTextField_.data();
}

template <typename Block>
void ArticlesViewController::onMainQueue(Block block) {
    QPointer<ArticlesViewController> self(this);
    dispatch::MainQueue::shared().async([self, block = std::move(block)]() mutable {
        if (self) block();
    });
}

// --- View ---

void ArticlesViewController::viewDidLoad() {
    ScrollViewController::viewDidLoad();
    noArticlesFoundTextField_->setTextFormat(Qt::PlainText);
    noArticlesFoundTextField_->setText(QString::fromStdString(localized("no_articles_found")));
    noArticlesFoundTextField_->setAttribute(Qt::WA_TransparentForMouseEvents);
    applyTheme();
    updateCount();

    // Over the list but not part of it, so it stays put while the list scrolls.
    noArticlesFoundTextField_->setParent(articlesTableView_);
    articlesTableView_->installEventFilter(this);
    // Chosen once, from the theme of the moment.
    const bool darkPane = ThemesManager::shared().settings().articlesStyle == ThemeStyle::dark;
    const QColor knob = darkPane ? QColor(255, 255, 255, 110) : QColor(0, 0, 0, 110);
    articlesTableView_->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical{background:transparent;width:8px;margin:0}"
                       "QScrollBar::handle:vertical{background:%1;border-radius:3px;min-height:24px;margin:1px}"
                       "QScrollBar::add-line,QScrollBar::sub-line{height:0}"
                       "QScrollBar::add-page,QScrollBar::sub-page{background:transparent}")
            .arg(knob.name(QColor::HexArgb)));
    centreLabel();
}

bool ArticlesViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == articlesTableView_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        centreLabel();
    return ScrollViewController::eventFilter(watched, event);
}

void ArticlesViewController::centreLabel() {
    noArticlesFoundTextField_->adjustSize();
    const QRect area = articlesTableView_->rect();
    QRect frame(QPoint(), noArticlesFoundTextField_->size());
    frame.moveCenter(area.center());
    noArticlesFoundTextField_->setGeometry(frame);
    noArticlesFoundTextField_->raise();
}

void ArticlesViewController::applyTheme() {
    const auto& theme = ThemesManager::shared();
    noArticlesFoundTextField_->setFont(theme.fonts().articleTitle.font);
    QPalette palette = noArticlesFoundTextField_->palette();
    palette.setColor(QPalette::WindowText, theme.colors().articleTitle);
    noArticlesFoundTextField_->setPalette(palette);
    if (isViewLoaded()) centreLabel();
}

// --- The list ---

void ArticlesViewController::updateCount() {
    const auto count = source_.numberOfArticles();
    articlesManagementToolbar_->setArticlesCount(static_cast<int>(count));
    noArticlesFoundTextField_->setVisible(count < 1);
    if (count == 0 && delegate_) delegate_->didSelectArticle(std::nullopt);
}

void ArticlesViewController::selectRow(int row) {
    QItemSelectionModel* selection = articlesTableView_->selectionModel();
    const QModelIndex index = model_->index(row, 0);
    selection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void ArticlesViewController::reloadArticles() {
    model_->reload();
    articlesTableView_->scrollToTop();
    selectRow(0);
    updateCount();
}

void ArticlesViewController::tableViewSelectionDidChange() {
    if (restoringSelection_) return;
    selectedArticle_.reset();
    const QModelIndexList rows = articlesTableView_->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.first().row();
    if (row != -1 && row < model_->rowCount()) selectedArticle_ = model_->article(row);
    if (selectedArticle_ && selectedArticle_->context()) source_.setRead(*selectedArticle_, true, {});
    if (delegate_) delegate_->didSelectArticle(selectedArticle_);
}

void ArticlesViewController::selectArticle(const Article& article) {
    auto row = model_->row(article.objectID());
    if (!row) return;
    articlesTableView_->scrollTo(model_->index(*row, 0));
    selectRow(*row);
}

void ArticlesViewController::markSelectedArticleAsStarred() {
    if (!selectedArticle_ || !selectedArticle_->context()) return;
    // The source tells its delegate (this list) afterwards, which uploads.
    source_.setStarred(*selectedArticle_, true, {});
}

void ArticlesViewController::setSortUnreadAscending(bool ascending) {
    source_.setSortUnreadAscending(ascending);
    const auto& info = source_.feedsInfo();
    if (info && (info->filter == ArticlesSourceFilter::unread || info->filter == ArticlesSourceFilter::today))
        reloadArticles();
}

void ArticlesViewController::setFilter(std::optional<ArticlesSourceFilter> filter) {
    auto info = source_.feedsInfo();
    if (!info) return;
    info->filter = filter;
    source_.setFeedsInfo(info);
}

void ArticlesViewController::openLink(const std::string& link) {
    const QUrl url(QString::fromStdString(link), QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty()) return;
    QDesktopServices::openUrl(url);
}

bool ArticlesViewController::copyLink(const std::string& link) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->clear();
    const QString text = QString::fromStdString(link);
    clipboard->setText(text);
    return clipboard->text() == text;
}

// --- Toolbar commands ---

void ArticlesViewController::articlesMarkAsRead() {
    std::shared_ptr<DataController> dataController = services_.dataController;
    source_.markAllAsRead([dataController] {
        dataController->save([] {
            if (auto cloud = CloudSyncManager::shared()) cloud->uploadSyncInfo(false, {});
        });
    });
}

void ArticlesViewController::searchTextDidChange(const std::string& text) {
    if (delegate_) delegate_->didSelectArticle(std::nullopt);
    const std::uint64_t serial = ++searchSerial_;
    if (text.empty()) {
        source_.setArticleIDs(std::nullopt);
        source_.setResultsControllerNeedsUpdate(true);
        source_.updateResultsController();
    }
    reloadArticles();
    if (text.empty() || !services_.searchManager) return;
    // Found IDs are gathered on the main queue, where the list is read.
    auto found = std::make_shared<std::vector<graph::ObjectID>>();
    QPointer<ArticlesViewController> self(this);
    auto current = [self, serial] { return self && self->searchSerial_ == serial; };
    services_.searchManager->search(
        text,
        [self, found, current](std::vector<graph::ObjectID> ids) {
            dispatch::MainQueue::shared().async([self, found, current, ids = std::move(ids)] {
                if (!current()) return;
                found->insert(found->end(), ids.begin(), ids.end());
                self->source_.setArticleIDs(*found);
                self->source_.setResultsControllerNeedsUpdate(true);
                self->source_.updateResultsController();
            });
        },
        [self, found, current] {
            dispatch::MainQueue::shared().async([self, found, current] {
                if (!current()) return;
                if (found->empty()) {
                    self->source_.setArticleIDs(std::vector<graph::ObjectID>{});
                    self->source_.setResultsControllerNeedsUpdate(true);
                    self->source_.updateResultsController();
                }
                self->reloadArticles();
            });
        });
}

// --- Source reports ---

void ArticlesViewController::articlesSourceDidReloadArticles() {
    onMainQueue([this] {
        selectedArticle_.reset();
        changingInfos_.clear();
        onMainQueue([this] { reloadArticles(); });
    });
}

void ArticlesViewController::articlesSourceWillChangeArticles() {
    onMainQueue([this] { changingInfos_.clear(); });
}

void ArticlesViewController::articlesSourceDidChangeArticle(std::optional<std::size_t> oldRow, graph::ResultsChange type,
                                                            std::optional<std::size_t> newRow) {
    // The article that now stands at a new row is read while the source's
    // list is the one the report refers to.
    std::optional<graph::ObjectID> newRowID;
    if (newRow && (type == graph::ResultsChange::insert || type == graph::ResultsChange::move))
        newRowID = source_.listedArticleID(*newRow);
    onMainQueue([this, oldRow, type, newRow, newRowID] { record(changingInfos_, oldRow, type, newRow, newRowID); });
}

void ArticlesViewController::articlesSourceDidChangeArticles() {
    const ArticlesListModel::Stamp stamp = model_->currentStamp();
    // The list as this batch leaves it: the steps must end there, also where
    // a reordering came reported as an update.
    auto after = std::make_shared<std::vector<graph::ObjectID>>(source_.listedArticleIDs());
    onMainQueue([this, stamp, after] { applyBatch(stamp, after); });
}

void ArticlesViewController::articlesSourceDidUpdate(const std::vector<Article>& articles) {
    // The rows show the articles' state: told on the main thread, they are
    // redrawn before the change's caller goes on.
    std::vector<graph::ObjectID> ids;
    for (const Article& article : articles) ids.push_back(article.objectID());
    if (dispatch::MainQueue::shared().isCurrent()) {
        model_->reportUpdates(ids);
    } else {
        onMainQueue([this, ids] { model_->reportUpdates(ids); });
    }
    // May come from background work: the hash fetch waits on a context, so
    // it runs on the main queue.
    onMainQueue([this] {
        const auto starred = source_.starredArticleHashes();
        // An empty list is still written, so that the last unstarring syncs.
        if (auto cloud = CloudSyncManager::shared()) cloud->uploadSyncInfo(starred.empty(), {});
    });
}

void ArticlesViewController::record(std::vector<ArticlesChangingInfo>& infos, std::optional<std::size_t> oldRow,
                                    graph::ResultsChange type, std::optional<std::size_t> newRow,
                                    std::optional<graph::ObjectID> newRowID) {
    std::optional<Type> entry;
    std::size_t row = 0;
    switch (type) {
    case graph::ResultsChange::insert:
        if (newRow) entry = Type::insert, row = *newRow;
        break;
    case graph::ResultsChange::remove:
        if (oldRow) entry = Type::remove, row = *oldRow;
        break;
    case graph::ResultsChange::move:
        if (oldRow && newRow && *oldRow == *newRow) entry = Type::update, row = *oldRow;
        // A move to another row is a step of its own, so the list follows it.
        else if (oldRow && newRow) {
            ArticlesChangingInfo info{Type::move, {*oldRow}, {}, newRow, newRowID};
            infos.push_back(std::move(info));
        }
        break;
    case graph::ResultsChange::update:
        if (oldRow) entry = Type::update, row = *oldRow;
        break;
    }
    if (!entry) return;
    if (infos.empty() || infos.back().type != *entry) infos.push_back(ArticlesChangingInfo{*entry, {}, {}, {}, {}});
    ArticlesChangingInfo& info = infos.back();
    info.indexes.insert(row);
    if (*entry == Type::insert && newRowID) info.insertedIDs[row] = *newRowID;
}

void ArticlesViewController::applyBatch(ArticlesListModel::Stamp stamp,
                                        const std::shared_ptr<std::vector<graph::ObjectID>>& after) {
    std::vector<ArticlesChangingInfo> infos = std::move(changingInfos_);
    changingInfos_.clear();
    bool fitted = false;
    if (stamp.resets != model_->stamp().resets) {
        // The list was taken again after these changes: it holds them already.
        fitted = true;
    } else if (stamp.generation != model_->stamp().generation) {
        // The source rebuilt its list since the copy was taken: the rows of
        // this batch are not the copy's.
        resyncArticles();
    } else {
        fitted = model_->apply(infos, *after);
        if (!fitted) resyncArticles(std::move(*after));
    }
    updateCount();
    Q_EMIT batchApplied(fitted);
}

void ArticlesViewController::resyncArticles(std::optional<std::vector<graph::ObjectID>> ids) {
    const std::optional<Article> selected = selectedArticle_;
    restoringSelection_ = true;
    if (ids) model_->reload(std::move(*ids));
    else model_->reload();
    std::optional<int> row = selected ? model_->row(selected->objectID()) : std::nullopt;
    if (row) selectRow(*row);
    restoringSelection_ = false;
    if (!row && selected) tableViewSelectionDidChange();
}

}  // namespace tallowmere
