#include "window/FeedsViewController.h"

#include <QEvent>
#include <QScrollBar>
#include <QStringList>

#include "feeds/FeedsManager.h"
#include "platform/desktop/Application.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "sources/NodesSourceDelegate.h"
#include "sources/NodesSourceOutlineDelegate.h"
#include "store/DataController.h"
#include "store/PersistentState.h"
#include "store/Preferences.h"
#include "themes/ThemesManager.h"
#include "window/AppDelegate.h"
#include "window/FeedAddViewController.h"
#include "window/FeedsDropRules.h"
#include "window/FeedsCellView.h"
#include "window/FeedsManagementToolbar.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/GradientView.h"
#include "window/NamedAppearance.h"

namespace tallowmere {

// The node source holds its delegate weakly; the controller is a Qt object
// of the window tree, so a small shared object stands in for it.
class FeedsViewController::NodesSourceForwarder : public NodesSourceDelegate, public NodesSourceOutlineDelegate {
public:
    explicit NodesSourceForwarder(FeedsViewController& controller) : controller_(&controller) {}
    void nodesSourceWillChangeContent() override {
        if (controller_) controller_->nodesSourceWillChangeContent();
    }
    void nodesSourceDidChangeItem(std::optional<std::size_t> index, std::optional<graph::ObjectID> parent,
                                  graph::ResultsChange type, std::optional<std::size_t> newIndex,
                                  std::optional<graph::ObjectID> newParent) override {
        if (controller_) controller_->nodesSourceDidChangeItem(index, parent, type, newIndex, newParent);
    }
    void nodesSourceDidChangeContent() override {
        if (controller_) controller_->nodesSourceDidChangeContent();
    }

private:
    QPointer<FeedsViewController> controller_;
};

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
                                          services_.dataController, this)),
      nodesSourceForwarder_(std::make_shared<NodesSourceForwarder>(*this)),
      changingInfos_(FeedsOutlineModel::smartGroupsCount) {
    setTopToolbar(feedsManagementToolbar_);
    setBottomToolbar(nullptr);
    services_.nodesSource->setDelegate(nodesSourceForwarder_);
    outlineModel_->setDropHandler(
        [this](const std::optional<FeedsOutlineItem>& parent, int row) { return acceptDrop(parent, row); });
}

FeedsViewController::~FeedsViewController() = default;

void FeedsViewController::viewDidLoad() {
    ScrollViewController::viewDidLoad();
    feedsOutlineView_->setModel(outlineModel_);
    auto* cell = new FeedsCellView(*services_.articlesSource, feedsOutlineView_);
    cell->setTextShouldEndEditing(
        [this](const QModelIndex& index, const QString& name) { return textShouldEndEditing(index, name); });
    feedsOutlineView_->setItemDelegate(cell);
    connect(feedsOutlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FeedsViewController::selectionDidChange);
    connect(feedsOutlineView_, &QTreeView::clicked, this, &FeedsViewController::feedsOutlineViewAction);
    connect(feedsOutlineView_, &FeedsOutlineView::dragWillBegin, this, &FeedsViewController::dragWillBegin);
    connect(feedsOutlineView_, &FeedsOutlineView::dragDidEnd, this, &FeedsViewController::dragDidEnd);
    connect(feedsOutlineView_, &QTreeView::expanded, this, &FeedsViewController::saveExpandedItems);
    connect(feedsOutlineView_, &QTreeView::collapsed, this, &FeedsViewController::saveExpandedItems);
    connect(outlineModel_, &QAbstractItemModel::modelAboutToBeReset, this,
            &FeedsViewController::rememberStateBeforeReset);
    connect(outlineModel_, &QAbstractItemModel::modelReset, this, &FeedsViewController::restoreStateAfterReset);
    connect(outlineModel_, &FeedsOutlineModel::smartGroupCountsRead, this, &FeedsViewController::updateDockBadge);
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

// --- Change delivery ---

void FeedsViewController::nodesSourceWillChangeContent() {
    // Tested as each call arrives: a drag in progress keeps the outline
    // as the drop's own steps leave it.
    if (draggingNodeID_) {
        changesDroppedDuringDrag_ = true;
        return;
    }
    QPointer<FeedsViewController> self(this);
    dispatch::MainQueue::shared().async([self] {
        if (self) self->changingInfos_.take();
    });
}

void FeedsViewController::nodesSourceDidChangeItem(std::optional<std::size_t> index,
                                                   std::optional<graph::ObjectID> parent, graph::ResultsChange type,
                                                   std::optional<std::size_t> newIndex,
                                                   std::optional<graph::ObjectID> newParent) {
    if (draggingNodeID_) {
        changesDroppedDuringDrag_ = true;
        return;
    }
    QPointer<FeedsViewController> self(this);
    dispatch::MainQueue::shared().async([self, index, parent, type, newIndex, newParent] {
        if (self) self->changingInfos_.record(index, parent, type, newIndex, newParent);
    });
}

void FeedsViewController::nodesSourceDidChangeContent() {
    if (draggingNodeID_) {
        changesDroppedDuringDrag_ = true;
        return;
    }
    // The tree this set leaves, read while the source still holds it: new
    // indexes of the set count in it, and the outline must end there.
    auto after = std::make_shared<const FeedsOutlineModel::Tree>(outlineModel_->storeTree());
    const int resets = outlineModel_->resets();
    QPointer<FeedsViewController> self(this);
    dispatch::MainQueue::shared().async([self, resets, after] {
        if (self) self->applyChangingInfos(resets, after);
    });
}

void FeedsViewController::applyChangingInfos(int resets, const std::shared_ptr<const FeedsOutlineModel::Tree>& after) {
    std::vector<FeedsChangingInfo> changes = changingInfos_.take();

    // A reset since the set came read the store after it: it holds the set.
    if (resets == outlineModel_->resets()) outlineModel_->apply(changes, *after);
    // The smart groups' counts scan the articles: read off the main queue,
    // and the badge follows once they are in.
    outlineModel_->reloadRowsSoon();
    Q_EMIT changesApplied();
}

void FeedsViewController::updateDockBadge() {
    auto* delegate = qobject_cast<AppDelegate*>(desktop::Application::shared().delegate());
    if (!delegate) return;
    delegate->updateDockBadge(services_.nodesSource->unreadArticlesCount(std::nullopt).value_or(0));
}

// --- Drag and drop ---

FeedsManager& FeedsViewController::feedsManager() const {
    return services_.feedsManager ? *services_.feedsManager : FeedsManager::shared();
}

void FeedsViewController::dragWillBegin(const QModelIndex& index) {
    const auto item = outlineModel_->item(index);
    const auto* id = item ? std::get_if<graph::ObjectID>(&*item) : nullptr;
    draggingNodeID_ = id ? std::optional(*id) : std::nullopt;
}

void FeedsViewController::dragDidEnd() {
    draggingNodeID_.reset();
    if (!std::exchange(changesDroppedDuringDrag_, false)) return;
    // Sets that came during the drag were not shown: later ones would name
    // rows that are not there. The outline takes the tree from the store.
    changingInfos_.take();
    if (outlineModel_->snapshotTree() != outlineModel_->storeTree()) outlineModel_->reload();
}

bool FeedsViewController::acceptDrop(const std::optional<FeedsOutlineItem>& parent, int row) {
    if (!draggingNodeID_) return false;
    const graph::ObjectID dragged = *draggingNodeID_;
    const int index = outlineModel_->childIndex(dragged);
    if (index < 0) return false;  // gone from the outline meanwhile
    const auto* proposedID = parent ? std::get_if<graph::ObjectID>(&*parent) : nullptr;
    const std::optional<graph::ObjectID> proposed = proposedID ? std::optional(*proposedID) : std::nullopt;
    const std::optional<graph::ObjectID> oldParent = outlineModel_->parent(dragged);
    const auto target = FeedsDropRules::target(proposed, row, dragged, index, oldParent, *outlineModel_,
                                               FeedsOutlineModel::smartGroupsCount);
    if (!target) return false;
    // The cloud's feed list records each feed's folder, not the order.
    const bool parentChanged = target->parent != oldParent;
    if (!feedsManager().move(dragged, target->parent, static_cast<std::size_t>(target->storeIndex), parentChanged))
        return false;
    if (target->storeIndex == -1 && target->parent) {
        outlineModel_->removeNode(dragged);
        // Into the folder, where the store put it.
        outlineModel_->fit(outlineModel_->storeTree());
    } else {
        outlineModel_->moveNode(dragged, target->parent, target->outlineIndex);
    }
    std::vector<graph::ObjectID> redrawn{dragged};
    if (oldParent) redrawn.push_back(*oldParent);
    if (target->parent) redrawn.push_back(*target->parent);
    outlineModel_->refresh(redrawn);
    selectionDidChange();
    return true;
}

// --- Renaming ---

void FeedsViewController::beginRename(int row) {
    if (row < FeedsOutlineModel::smartGroupsCount || row >= feedsOutlineView_->numberOfRows()) return;
    const QModelIndex index = feedsOutlineView_->indexAtRow(row);
    if (!index.data(FeedsOutlineModel::FolderRole).toBool()) return;
    feedsOutlineView_->scrollTo(index);
    feedsOutlineView_->edit(index);
}

bool FeedsViewController::textShouldEndEditing(const QModelIndex& index, const QString& name) {
    if (name.isEmpty()) return false;
    const auto item = outlineModel_->item(index);
    const auto node = item ? outlineModel_->objectValue(*item) : std::nullopt;
    if (!node || !outlineModel_->isFolder(node->objectID())) return true;
    feedsManager().rename(*node, name.toStdString());
    return true;
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
