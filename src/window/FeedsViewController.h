#pragma once

#include <QPointer>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graph/FetchedResultsController.h"
#include "platform/graph/ObjectID.h"
#include "themes/Themable.h"
#include "window/FeedsChangingInfos.h"
#include "window/FeedsOutlineItem.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsSmartGroup.h"
#include "window/GradientView.h"
#include "window/ScrollViewController.h"

namespace tallowmere {

class ArticlesSource;
class DataController;
class FeedAddViewController;
class FeedsManagementToolbar;
class FeedsManager;

class FeedsOutlineView;
class NodesSource;
class PersistentState;
class Preferences;

// The sidebar pane: the feeds toolbar above the outline of smart groups,
// folders and feeds. A selection tells the article source what to list;
// the feed or folder selected last, and the folders left open, are
// remembered across launches. It mirrors every change set of the node
// source into the outline, moves feeds and folders the user drags, and
// renames folders in place.
class FeedsViewController : public ScrollViewController, public Themable {
    Q_OBJECT
public:
    static constexpr const char* lastSelectedNodeKey = "LastSelectedNode";
    // Where the outline keeps its open folders, as node URIs one per line.
    static constexpr const char* autosaveName = "FeedsOutlineView";

    // What the sidebar reads and writes; the program's shared objects by default.
    struct Services {
        std::shared_ptr<NodesSource> nodesSource;
        ArticlesSource* articlesSource = nullptr;
        std::shared_ptr<DataController> dataController;
        std::shared_ptr<PersistentState> persistentState;
        std::shared_ptr<Preferences> preferences;
        // Nothing: the program's manager, made when first needed.
        FeedsManager* feedsManager = nullptr;
        static Services shared();
    };

    explicit FeedsViewController(Services services = Services::shared(), QObject* parent = nullptr);
    ~FeedsViewController() override;

    FeedsManagementToolbar* feedsManagementToolbar() const { return feedsManagementToolbar_; }
    FeedsOutlineView* feedsOutlineView() const { return feedsOutlineView_; }
    FeedsOutlineModel* outlineModel() const { return outlineModel_; }
    GradientView* gradientView() const { return gradientView_; }
    const std::array<FeedsSmartGroup, 6>& smartGroups() const { return allFeedsSmartGroups; }

    // The item of the selected row, if a row is selected.
    std::optional<FeedsOutlineItem> selectedItem() const;

    void showPreviousFeed();
    void reloadRows();
    void selectFeed(std::string_view urlPrefix);
    void applyTheme() override;
    // The outline's click: the add row opens the add-feed sheet.
    void feedsOutlineViewAction(const QModelIndex& clicked);
    // The add-feed sheet shown now, if any.
    FeedAddViewController* presentedAddFeedSheet() const;

    // Opens the name of the folder at that row (counted as shown) for
    // editing, all of it selected; any other row: nothing.
    void beginRename(int row);
    // The rename editor asks before it closes: an empty name keeps it open;
    // a folder's name goes to the feeds manager as typed.
    bool textShouldEndEditing(const QModelIndex& index, const QString& name);

    // The node being dragged in the sidebar, while a drag is under way.
    const std::optional<graph::ObjectID>& draggingNodeID() const { return draggingNodeID_; }
    // A drop of the sidebar's own drag onto or into `parent` (nothing: the
    // root) at a child row (-1: onto it); false when refused.
    bool acceptDrop(const std::optional<FeedsOutlineItem>& parent, int row);

Q_SIGNALS:
    // A change set of the node source has reached the outline.
    void changesApplied();

protected:
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class NodesSourceForwarder;

    // Change delivery: one change set of the node source at a time.
    void nodesSourceWillChangeContent();
    void nodesSourceDidChangeItem(std::optional<std::size_t> index, std::optional<graph::ObjectID> parent,
                                  graph::ResultsChange type, std::optional<std::size_t> newIndex,
                                  std::optional<graph::ObjectID> newParent);
    void nodesSourceDidChangeContent();
    void applyChangingInfos(int resets, const std::shared_ptr<const FeedsOutlineModel::Tree>& after);
    void updateDockBadge();
    void dragWillBegin(const QModelIndex& index);
    void dragDidEnd();
    FeedsManager& feedsManager() const;

    void selectionDidChange();
    void startUpSelection();
    void saveExpandedItems();
    void restoreExpandedItems(const std::vector<graph::ObjectID>& folders);
    std::vector<graph::ObjectID> savedExpandedItems() const;
    std::vector<graph::ObjectID> expandedItems() const;
    void rememberStateBeforeReset();
    void restoreStateAfterReset();

    Services services_;
    FeedsManagementToolbar* feedsManagementToolbar_;
    FeedsOutlineView* feedsOutlineView_;
    FeedsOutlineModel* outlineModel_;
    QPointer<GradientView> gradientView_;
    bool restoringExpansion_ = false;
    std::optional<FeedsOutlineItem> selectionBeforeReset_;
    std::vector<graph::ObjectID> expandedBeforeReset_;
    std::shared_ptr<NodesSourceForwarder> nodesSourceForwarder_;
    FeedsChangingInfos changingInfos_;
    std::optional<graph::ObjectID> draggingNodeID_;
    // Change sets came while a drag was under way and were not shown.
    bool changesDroppedDuringDrag_ = false;
};

}  // namespace tallowmere
