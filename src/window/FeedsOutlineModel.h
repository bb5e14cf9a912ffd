#pragma once

#include <QAbstractItemModel>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/graph/ObjectID.h"
#include "sources/NodesSourceDelegate.h"
#include "store/Node.h"
#include "window/FeedsOutlineItem.h"

namespace tallowmere {

class ArticlesSource;
class DataController;
class NodesSource;

// The sidebar's tree: the six smart groups, then the folders and feeds of
// the node source (root row i of 6 or more is top-level node i - 6). It keeps
// a snapshot of the tree with each row's name, count and icon, read from the
// store when the tree is loaded and when rows are reloaded: painting happens
// far more often than the data change and never reaches the store.
class FeedsOutlineModel : public QAbstractItemModel {
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

    FeedsOutlineModel(std::shared_ptr<NodesSource> nodesSource, ArticlesSource& articlesSource,
                      std::shared_ptr<DataController> dataController, QObject* parent = nullptr);
    ~FeedsOutlineModel() override;

    // Rebuilds the whole snapshot from the node source (a model reset).
    void reload();
    // Re-reads the names and counts of the smart-group rows other than the
    // separator (rows 0 to 4).
    void reloadRows();
    // Reads the icons of a folder's feeds, once, when the folder is opened:
    // feeds in closed folders are not drawn, and a large store has many.
    void loadIcons(const QModelIndex& folder);

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

    // The node source reports changes here until the sidebar follows them
    // item by item: each batch becomes one reset.
    std::shared_ptr<NodesSourceDelegate> nodesSourceDelegate() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Entry {
        FeedsOutlineItem item;
        int parent = -1;  // entry index of the folder, -1 at the root
        int row = 0;
        bool folder = false;
        std::vector<int> children;
        QString name;
        std::int64_t count = 0;
        QPixmap icon;
        bool childIconsLoaded = false;
    };
    class ChangeForwarder;

    void buildSnapshot();
    void readSmartGroup(Entry& entry) const;
    void readNodes(const std::vector<int>& entries);
    void readIcons(const std::vector<int>& entries);
    const Entry* entry(const QModelIndex& index) const;
    static quintptr idFor(int entryIndex) { return static_cast<quintptr>(entryIndex) + 1; }

    std::shared_ptr<NodesSource> nodesSource_;
    ArticlesSource& articlesSource_;
    std::shared_ptr<DataController> dataController_;
    std::shared_ptr<ChangeForwarder> changeForwarder_;
    std::vector<Entry> entries_;
    std::vector<int> rootEntries_;
    std::unordered_map<graph::ObjectID, int, graph::ObjectIDHash> entryOfNode_;
    const graph::EntityDescription* folderEntity_ = nullptr;
};

}  // namespace tallowmere
