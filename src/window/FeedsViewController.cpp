#include "window/FeedsViewController.h"

#include <QEvent>
#include <QScrollBar>
#include <QStringList>

#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "store/PersistentState.h"
#include "store/Preferences.h"
#include "themes/ThemesManager.h"
#include "window/FeedAddViewController.h"
#include "window/FeedsCellView.h"
#include "window/FeedsManagementToolbar.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/GradientView.h"
#include "window/NamedAppearance.h"

namespace tallowmere {

FeedsViewController::Services FeedsViewController::Services::shared() {
    return {NodesSource::shared(), &ArticlesSource::shared(), DataController::shared(), PersistentState::shared(),
            Preferences::shared()};
}

FeedsViewController::FeedsViewController(Services services, QObject* parent)
    : ScrollViewController(new FeedsOutlineView(), parent),
      services_(std::move(services)),
      feedsManagementToolbar_(new FeedsManagementToolbar()),
      feedsOutlineView_(static_cast<FeedsOutlineView*>(scrollView())),
      outlineModel_(new FeedsOutlineModel(services_.nodesSource, *services_.articlesSource,
                                          services_.dataController, this)) {
    setTopToolbar(feedsManagementToolbar_);
    setBottomToolbar(nullptr);
    services_.nodesSource->setDelegate(outlineModel_->nodesSourceDelegate());
}

FeedsViewController::~FeedsViewController() = default;

void FeedsViewController::viewDidLoad() {
    ScrollViewController::viewDidLoad();
    feedsOutlineView_->setModel(outlineModel_);
    feedsOutlineView_->setItemDelegate(new FeedsCellView(*services_.articlesSource, feedsOutlineView_));
    connect(feedsOutlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FeedsViewController::selectionDidChange);
    connect(feedsOutlineView_, &QTreeView::clicked, this, &FeedsViewController::feedsOutlineViewAction);
    connect(feedsOutlineView_, &QTreeView::expanded, this, &FeedsViewController::saveExpandedItems);
    connect(feedsOutlineView_, &QTreeView::collapsed, this, &FeedsViewController::saveExpandedItems);
    connect(outlineModel_, &QAbstractItemModel::modelAboutToBeReset, this,
            &FeedsViewController::rememberStateBeforeReset);
    connect(outlineModel_, &QAbstractItemModel::modelReset, this, &FeedsViewController::restoreStateAfterReset);
    view()->installEventFilter(this);
    restoreExpandedItems(savedExpandedItems());
    applyTheme();
    startUpSelection();
}

// --- Selection ---

std::optional<FeedsOutlineItem> FeedsViewController::selectedItem() const {
    const QModelIndexList selected =
        feedsOutlineView_->selectionModel() ? feedsOutlineView_->selectionModel()->selectedRows() : QModelIndexList();
    if (selected.isEmpty()) return std::nullopt;
    return outlineModel_->item(selected.first());
}

void FeedsViewController::selectionDidChange() {
    const auto item = selectedItem();
    if (!item) return;
    ArticlesSource& articles = *services_.articlesSource;
    if (const auto* group = std::get_if<FeedsSmartGroup>(&*item)) {
        std::optional<ArticlesSourceFilter> filter;
        switch (*group) {
            case FeedsSmartGroup::unread: filter = ArticlesSourceFilter::unread; break;
            case FeedsSmartGroup::today: filter = ArticlesSourceFilter::today; break;
            case FeedsSmartGroup::starred: filter = ArticlesSourceFilter::starred; break;
            default: break;
        }
        articles.setFeedsInfo(ArticlesSourceFeedsInfo(std::nullopt, filter));
        return;
    }
    const auto& id = std::get<graph::ObjectID>(*item);
    defaults::UserDefaults& defaults = services_.persistentState->defaults();
    defaults.set(lastSelectedNodeKey, id.uriRepresentation());
    defaults.synchronize();
    articles.setFeedsInfo(ArticlesSourceFeedsInfo(services_.nodesSource->feeds(id), std::nullopt));
}

void FeedsViewController::startUpSelection() {
    if (services_.preferences->selectedFeedAtLaunch() == SelectedFeedAtLaunch::last) {
        const auto saved = services_.persistentState->defaults().string(lastSelectedNodeKey);
        const auto id = saved ? services_.dataController->objectID(*saved) : std::nullopt;
        const int row = id ? feedsOutlineView_->rowForIndex(outlineModel_->indexForItem(*id)) : -1;
        if (row >= 0) {
            feedsOutlineView_->scrollRowToVisible(row);
            feedsOutlineView_->selectRow(row);
            return;
        }
    }
    feedsOutlineView_->scrollRowToVisible(0);
    feedsOutlineView_->selectRow(0);
}

void FeedsViewController::showPreviousFeed() {
    const int row = feedsOutlineView_->selectedRow() - 1;
    if (row < 0) {
        feedsOutlineView_->scrollRowToVisible(0);
        feedsOutlineView_->selectRow(0);
        return;
    }
    if (row < feedsOutlineView_->numberOfRows()) {
        feedsOutlineView_->scrollRowToVisible(row);
        feedsOutlineView_->selectRow(row);
    }
}

// Renaming in place arrives with the sidebar's editing; until then the row stays as it is.
void FeedsViewController::beginRename(int) {}

void FeedsViewController::reloadRows() { outlineModel_->reloadRows(); }

void FeedsViewController::selectFeed(std::string_view urlPrefix) {
    const auto feed = services_.nodesSource->feed(urlPrefix);
    if (!feed) return;
    const int row = feedsOutlineView_->rowForIndex(outlineModel_->indexForItem(feed->objectID()));
    if (row < 0) return;
    feedsOutlineView_->scrollRowToVisible(row);
    feedsOutlineView_->selectRow(row);
}

// --- The add row ---

void FeedsViewController::feedsOutlineViewAction(const QModelIndex& clicked) {
    const auto item = outlineModel_->item(clicked);
    const auto* group = item ? std::get_if<FeedsSmartGroup>(&*item) : nullptr;
    if (!group || *group != FeedsSmartGroup::add) return;
    feedsOutlineView_->setHighlightedIndex(clicked);
    QPointer<FeedsViewController> self(this);
    // The highlight shows for one turn of the main queue before the sheet.
    dispatch::MainQueue::shared().async([self] {
        if (!self) return;
        self->feedsOutlineView_->clearSelection();
        self->presentAsSheet(new FeedAddViewController(self->services_.nodesSource));
        self->feedsOutlineView_->setHighlightedIndex({});
    });
}

FeedAddViewController* FeedsViewController::presentedAddFeedSheet() const {
    return qobject_cast<FeedAddViewController*>(presentedSheet());
}

// --- Open folders ---

std::vector<graph::ObjectID> FeedsViewController::savedExpandedItems() const {
    std::vector<graph::ObjectID> folders;
    const auto saved = services_.persistentState->defaults().string(autosaveName);
    if (!saved) return folders;
    for (const QString& line : QString::fromStdString(*saved).split(u'\n', Qt::SkipEmptyParts)) {
        // Entries that name nothing of this store are passed over.
        if (auto id = services_.dataController->objectID(line.trimmed().toStdString())) folders.push_back(*id);
    }
    return folders;
}

std::vector<graph::ObjectID> FeedsViewController::expandedItems() const {
    std::vector<graph::ObjectID> folders;
    const int rows = outlineModel_->rowCount();
    for (int row = FeedsOutlineModel::smartGroupsCount; row < rows; ++row) {
        const QModelIndex index = outlineModel_->index(row, 0);
        if (!feedsOutlineView_->isExpanded(index)) continue;
        if (auto item = outlineModel_->item(index)) folders.push_back(std::get<graph::ObjectID>(*item));
    }
    return folders;
}

void FeedsViewController::saveExpandedItems() {
    if (restoringExpansion_) return;
    QStringList uris;
    for (const graph::ObjectID& id : expandedItems()) uris.append(QString::fromStdString(id.uriRepresentation()));
    defaults::UserDefaults& defaults = services_.persistentState->defaults();
    defaults.set(autosaveName, uris.join(u'\n').toStdString());
    defaults.synchronize();
}

void FeedsViewController::restoreExpandedItems(const std::vector<graph::ObjectID>& folders) {
    restoringExpansion_ = true;
    for (const graph::ObjectID& id : folders) {
        const QModelIndex index = outlineModel_->indexForItem(id);
        if (index.isValid() && outlineModel_->isFolder(id)) feedsOutlineView_->setExpanded(index, true);
    }
    restoringExpansion_ = false;
}

void FeedsViewController::rememberStateBeforeReset() {
    selectionBeforeReset_ = selectedItem();
    expandedBeforeReset_ = expandedItems();
}

void FeedsViewController::restoreStateAfterReset() {
    restoreExpandedItems(expandedBeforeReset_);
    if (!selectionBeforeReset_) return;
    const QModelIndex index = outlineModel_->indexForItem(*selectionBeforeReset_);
    if (index.isValid())
        feedsOutlineView_->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// --- Theme ---

void FeedsViewController::applyTheme() {
    const ThemesManager& themes = ThemesManager::shared();
    const ThemeSettings& settings = themes.settings();
    if (gradientView_) delete gradientView_;
    QWidget* pane = view();
    if (settings.useFeedsBackgroundColors) {
        feedsOutlineView_->setPalette(paletteFor(NamedAppearance::aqua));
        gradientView_ = new GradientView(themes.colors().feedsTopBackground, themes.colors().feedsBottomBackground, pane);
        gradientView_->setObjectName(QStringLiteral("FeedsGradientView"));
        gradientView_->setGeometry(pane->rect());
        gradientView_->lower();
        gradientView_->show();
        pane->setAutoFillBackground(false);
    } else {
        // The sidebar's own translucent look becomes a plain light or dark pane.
        feedsOutlineView_->setPalette(QPalette());
        pane->setPalette(paletteFor(settings.feedsStyle == ThemeStyle::dark ? NamedAppearance::vibrantDark
                                                                             : NamedAppearance::vibrantLight));
        pane->setAutoFillBackground(true);
    }
    // A dark knob on a light sidebar, a light one on a dark sidebar.
    const QColor knob = settings.feedsStyle == ThemeStyle::light ? QColor(0, 0, 0, 128) : QColor(255, 255, 255, 128);
    feedsOutlineView_->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 24px;"
                       " margin: 1px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(knob.name(QColor::HexArgb)));
    feedsOutlineView_->applyTheme();
    if (auto* cell = qobject_cast<FeedsCellView*>(feedsOutlineView_->itemDelegate())) cell->applyTheme();
    feedsManagementToolbar_->applyTheme();
    feedsOutlineView_->viewport()->update();
}

bool FeedsViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view() && event->type() == QEvent::Resize && gradientView_) gradientView_->setGeometry(view()->rect());
    return ScrollViewController::eventFilter(watched, event);
}

}  // namespace tallowmere
