#pragma once

#include <QAbstractItemModel>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/graph/ObjectID.h"
#include "store/Node.h"
#include "window/FeedsChangingInfo.h"
#include "window/FeedsDropRules.h"
#include "window/FeedsOutlineItem.h"

namespace tallowmere {

class ArticlesSource;
class DataController;
class NodesSource;

// The sidebar's tree: the six smart groups, then the folders and feeds of
// the node source (root row i of 6 or more is top-level node i - 6). It keeps
// a snapshot of the tree with each row's name, count and icon, read from the
// store when rows come in and when they change: painting happens far more
// often than the data change and never reaches the store. Change sets reach
// the snapshot step by step, so open folders and the selection stay.
class FeedsOutlineModel : public QAbstractItemModel, public FeedsDropRules::Tree {
    Q_OBJECT
public:
    static constexpr int smartGroupsCount = 6;
    static constexpr double iconSize = 16.0;

    enum Role {
        CountRole = Qt::UserRole + 1,  // qint64, 0 when there is none
        IconRole,                      // QPixmap, null when the row has none
        SmartGroupRole,                // raw value of the group, -1 for a node
        FolderRole,                    // bool
        UserSelectableRole,            // bool: can the user click or key onto it
    };

    // The node tree by object IDs: the top-level nodes in order, and the
    // feeds of every folder (an empty list for an empty folder).
    struct Tree {
        std::vector<graph::ObjectID> root;
        std::unordered_map<graph::ObjectID, std::vector<graph::ObjectID>, graph::ObjectIDHash> children;
        bool operator==(const Tree&) const = default;
        // The nodes of a parent; none for a folder the tree does not hold.
        const std::vector<graph::ObjectID>* nodes(const NodeInfo& parent) const;
    };

    // A drop of the sidebar's own drag: onto or into the item (nothing for the
    // root) at a child row (-1: onto it). Answers whether it was taken.
    using DropHandler = std::function<bool(const std::optional<FeedsOutlineItem>& parent, int row)>;

    FeedsOutlineModel(std::shared_ptr<NodesSource> nodesSource, ArticlesSource& articlesSource,
                      std::shared_ptr<DataController> dataController, QObject* parent = nullptr);
    ~FeedsOutlineModel() override;

    // Rebuilds the whole snapshot from the node source (a model reset).
    void reload();
    // Re-reads the names and counts of the smart-group rows other than the
    // separator (rows 0 to 4).
    void reloadRows();
    // The same rows' counts read off the main queue: the model takes them
    // when they come and then signals smartGroupCountsRead. Calls while a
    // read is under way are served by one more read after it.
    void reloadRowsSoon();
    // Reads the icons of a folder's feeds, once, when the folder is opened:
    // feeds in closed folders are not drawn, and a large store has many.
    void loadIcons(const QModelIndex& folder);

    // The tree as the node source holds it now, and as the snapshot holds it.
    Tree storeTree() const;
    Tree snapshotTree() const;
    // Applies one change set: each element in order becomes insert, remove,
    // move or data-changed steps per parent and run of rows. Rows named by
    // old indexes are those of the snapshot before the set, rows named by new
    // indexes those of `after`; whatever the steps left out of place is then
    // moved, inserted or removed until the snapshot equals `after`.
    void apply(const std::vector<FeedsChangingInfo>& changes, const Tree& after);
    // Brings the snapshot to `after` with the fewest steps it finds, never a reset.
    void fit(const Tree& after);
    // Single steps of a drop: the node's row moves to an outline index of a
    // parent (counted after it left its place), or goes.
    void moveNode(const graph::ObjectID& id, const std::optional<graph::ObjectID>& parent, int index);
    void removeNode(const graph::ObjectID& id);
    // Re-reads names and counts of these rows.
    void refresh(const std::vector<graph::ObjectID>& ids);
    // Generations of the snapshot: one more for every reset.
    int resets() const { return resets_; }

    std::optional<FeedsOutlineItem> item(const QModelIndex& index) const;
    // Invalid when the item has no row in the snapshot.
    QModelIndex indexForItem(const FeedsOutlineItem& item) const;
    bool isFolder(const graph::ObjectID& id) const;
    // The stored node of a row's object ID in the main context, when it is a node.
    std::optional<Node> objectValue(const FeedsOutlineItem& item) const;
    // The sidebar's node source and store.
    NodesSource& nodesSource() const { return *nodesSource_; }
    DataController& dataController() const { return *dataController_; }
    // The name a row shows: one line, line breaks turned into spaces.
    static QString displayName(const std::string& name);

    // The drop rules' view of the snapshot.
    bool isExpandable(const std::optional<graph::ObjectID>& item) const override;
    int childIndex(const graph::ObjectID& item) const override;
    std::optional<graph::ObjectID> parent(const graph::ObjectID& item) const override;

    // Drags: one type of the program's own, carrying nothing, moves only.
    static QString pasteboardType();
    void setDropHandler(DropHandler handler) { dropHandler_ = std::move(handler); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    using QObject::parent;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

Q_SIGNALS:
    void smartGroupCountsRead();

private:
    static constexpr int root = -1;
    struct Entry {
        FeedsOutlineItem item;
        int parent = root;  // entry index of the folder, root at the top
        int row = 0;
        bool folder = false;
        bool live = true;
        std::vector<int> children;
        QString name;
        std::int64_t count = 0;
        QPixmap icon;
        bool childIconsLoaded = false;
    };

    void buildSnapshot();
    void readSmartGroup(Entry& entry) const;
    void startCountsRead();
    void takeCounts(int generation, const std::vector<FeedsSmartGroup>& groups, const std::vector<std::size_t>& counts);
    void readNodes(const std::vector<int>& entries);
    void readIcons(const std::vector<int>& entries);
    const Entry* entry(const QModelIndex& index) const;
    static quintptr idFor(int entryIndex) { return static_cast<quintptr>(entryIndex) + 1; }

    // Snapshot steps, each signalled as it is made.
    std::vector<int>& childrenOf(int parentEntry);
    QModelIndex indexOfEntry(int entryIndex) const;
    std::optional<int> entryOf(const NodeInfo& parent) const;
    std::optional<int> entryOf(const graph::ObjectID& id) const;
    int newEntry(const graph::ObjectID& id, int parentEntry);
    void insertRun(int parentEntry, int row, const std::vector<graph::ObjectID>& ids);
    void removeRun(int parentEntry, int first, int last);
    void removeEntries(int parentEntry, std::vector<int> rows);
    void moveEntry(int entryIndex, int parentEntry, int row);
    void renumber(int parentEntry, int from);
    void release(int entryIndex);
    void refreshEntries(std::vector<int> entries);
    void insertAt(int parentEntry, const std::vector<std::pair<int, graph::ObjectID>>& rows);
    void placeChildren(int parentEntry, const std::vector<graph::ObjectID>& ids, int offset, std::vector<int>& moved);
    void truncate(int parentEntry, std::size_t size);

    std::shared_ptr<NodesSource> nodesSource_;
    ArticlesSource& articlesSource_;
    std::shared_ptr<DataController> dataController_;
    std::vector<Entry> entries_;
    std::vector<int> freeEntries_;
    std::vector<int> rootEntries_;
    std::unordered_map<graph::ObjectID, int, graph::ObjectIDHash> entryOfNode_;
    const graph::EntityDescription* folderEntity_ = nullptr;
    DropHandler dropHandler_;
    int resets_ = 0;
    // Counts read on the main queue since a background read began make its
    // result stale.
    int countsGeneration_ = 0;
    bool countsReading_ = false;
    bool countsAgain_ = false;
};

}  // namespace tallowmere
