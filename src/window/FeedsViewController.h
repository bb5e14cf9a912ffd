#pragma once

#include <QPointer>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graph/ObjectID.h"
#include "themes/Themable.h"
#include "window/FeedsOutlineItem.h"
#include "window/FeedsSmartGroup.h"
#include "window/GradientView.h"
#include "window/ScrollViewController.h"

namespace tallowmere {

class ArticlesSource;
class DataController;
class FeedAddViewController;
class FeedsManagementToolbar;
class FeedsOutlineModel;
class FeedsOutlineView;
class NodesSource;
class PersistentState;
class Preferences;

// The sidebar pane: the feeds toolbar above the outline of smart groups,
// folders and feeds. A selection tells the article source what to list;
// the feed or folder selected last, and the folders left open, are
// remembered across launches.
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
    // Starts editing the name of the folder shown in that outline row.
    void beginRename(int row);
    void reloadRows();
    void selectFeed(std::string_view urlPrefix);
    void applyTheme() override;
    // The outline's click: the add row opens the add-feed sheet.
    void feedsOutlineViewAction(const QModelIndex& clicked);
    // The add-feed sheet shown now, if any.
    FeedAddViewController* presentedAddFeedSheet() const;

protected:
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
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
};

}  // namespace tallowmere
