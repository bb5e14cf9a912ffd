#include "window/FeedsOutlineModel.h"

#include <QMimeData>
#include <QPointer>
#include <QSizeF>
#include <QStringList>
#include <algorithm>
#include <map>
#include <unordered_set>

#include "images/NodeIcons.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "store/Folder.h"
#include "window/FeedsCellView.h"

namespace tallowmere {

namespace {

struct SmartGroupText {
    const char* key;
    std::optional<ArticlesSourceFilter> filter;
    bool counted;
};

SmartGroupText textOf(FeedsSmartGroup group) {
    switch (group) {
        case FeedsSmartGroup::all: return {"all", std::nullopt, true};
        case FeedsSmartGroup::unread: return {"unread", ArticlesSourceFilter::unread, true};
        case FeedsSmartGroup::today: return {"today", ArticlesSourceFilter::today, true};
        case FeedsSmartGroup::starred: return {"starred", ArticlesSourceFilter::starred, true};
        case FeedsSmartGroup::add: return {"add", std::nullopt, false};
        case FeedsSmartGroup::separator: return {nullptr, std::nullopt, false};
    }
    return {nullptr, std::nullopt, false};
}

}  // namespace

FeedsOutlineModel::FeedsOutlineModel(std::shared_ptr<NodesSource> nodesSource, ArticlesSource& articlesSource,
                                     std::shared_ptr<DataController> dataController, QObject* parent)
    : QAbstractItemModel(parent),
      nodesSource_(std::move(nodesSource)),
      articlesSource_(articlesSource),
      dataController_(std::move(dataController)),
      folderEntity_(dataController_->persistentContainer().entity(Folder::entityName)) {
    buildSnapshot();
}

FeedsOutlineModel::~FeedsOutlineModel() = default;

QString FeedsOutlineModel::displayName(const std::string& name) {
    QString text = QString::fromStdString(name);
    for (QChar& c : text) {
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator || c == u'\t')
            c = u' ';
    }
    return text;
}

void FeedsOutlineModel::reload() {
    beginResetModel();
    buildSnapshot();
    ++resets_;
    endResetModel();
}

const std::vector<graph::ObjectID>* FeedsOutlineModel::Tree::nodes(const NodeInfo& parent) const {
    if (!parent.nodeID) return &root;
    auto found = children.find(*parent.nodeID);
    return found == children.end() ? nullptr : &found->second;
}

FeedsOutlineModel::Tree FeedsOutlineModel::storeTree() const {
    // Straight from the results controller: each section is a top-level
    // node, followed by its feeds when it is a folder.
    Tree tree;
    const graph::FetchedResultsController& results = nodesSource_->resultsController();
    for (std::size_t section = 0; section < results.numberOfSections(); ++section) {
        const std::size_t count = results.numberOfObjects(section);
        if (count == 0) continue;
        const graph::ObjectID top = results.objectID(graph::IndexPath{section, 0});
        tree.root.push_back(top);
        if (!isFolder(top)) continue;
        auto& feeds = tree.children[top];
        feeds.reserve(count - 1);
        for (std::size_t item = 1; item < count; ++item) feeds.push_back(results.objectID(graph::IndexPath{section, item}));
    }
    return tree;
}

FeedsOutlineModel::Tree FeedsOutlineModel::snapshotTree() const {
    Tree tree;
    for (std::size_t row = smartGroupsCount; row < rootEntries_.size(); ++row) {
        const Entry& top = entries_[rootEntries_[row]];
        const auto& id = std::get<graph::ObjectID>(top.item);
        tree.root.push_back(id);
        if (!top.folder) continue;
        auto& feeds = tree.children[id];
        for (int child : top.children) feeds.push_back(std::get<graph::ObjectID>(entries_[child].item));
    }
    return tree;
}

void FeedsOutlineModel::buildSnapshot() {
    ++countsGeneration_;
    entries_.clear();
    freeEntries_.clear();
    rootEntries_.clear();
    entryOfNode_.clear();
    for (FeedsSmartGroup group : allFeedsSmartGroups) {
        Entry entry;
        entry.item = group;
        entry.row = rawValue(group);
        readSmartGroup(entry);
        rootEntries_.push_back(static_cast<int>(entries_.size()));
        entries_.push_back(std::move(entry));
    }
    const Tree tree = storeTree();
    std::vector<int> nodes;
    for (const graph::ObjectID& id : tree.root) {
        const int top = newEntry(id, root);
        entries_[top].row = static_cast<int>(rootEntries_.size());
        rootEntries_.push_back(top);
        nodes.push_back(top);
        const auto* feeds = tree.nodes(NodeInfo{id});
        if (!entries_[top].folder || !feeds) continue;
        for (const graph::ObjectID& feedID : *feeds) {
            const int child = newEntry(feedID, top);
            entries_[child].row = static_cast<int>(entries_[top].children.size());
            entries_[top].children.push_back(child);
            nodes.push_back(child);
        }
    }
    readNodes(nodes);
    readIcons(rootEntries_);
}

// --- Snapshot steps ---

int FeedsOutlineModel::newEntry(const graph::ObjectID& id, int parentEntry) {
    Entry entry;
    entry.item = id;
    entry.parent = parentEntry;
    entry.folder = isFolder(id);
    int index;
    if (!freeEntries_.empty()) {
        index = freeEntries_.back();
        freeEntries_.pop_back();
        entries_[index] = std::move(entry);
    } else {
        index = static_cast<int>(entries_.size());
        entries_.push_back(std::move(entry));
    }
    entryOfNode_[id] = index;
    return index;
}

void FeedsOutlineModel::release(int entryIndex) {
    for (int child : entries_[entryIndex].children) release(child);
    Entry& entry = entries_[entryIndex];
    entryOfNode_.erase(std::get<graph::ObjectID>(entry.item));
    entry = Entry{};
    entry.live = false;
    freeEntries_.push_back(entryIndex);
}

std::vector<int>& FeedsOutlineModel::childrenOf(int parentEntry) {
    return parentEntry == root ? rootEntries_ : entries_[parentEntry].children;
}

QModelIndex FeedsOutlineModel::indexOfEntry(int entryIndex) const {
    if (entryIndex == root) return {};
    return createIndex(entries_[entryIndex].row, 0, idFor(entryIndex));
}

std::optional<int> FeedsOutlineModel::entryOf(const graph::ObjectID& id) const {
    auto found = entryOfNode_.find(id);
    if (found == entryOfNode_.end()) return std::nullopt;
    return found->second;
}

std::optional<int> FeedsOutlineModel::entryOf(const NodeInfo& parent) const {
    if (!parent.nodeID) return root;
    auto found = entryOf(*parent.nodeID);
    if (!found || !entries_[*found].folder) return std::nullopt;
    return found;
}

void FeedsOutlineModel::renumber(int parentEntry, int from) {
    std::vector<int>& children = childrenOf(parentEntry);
    for (int row = std::max(from, 0); row < static_cast<int>(children.size()); ++row) entries_[children[row]].row = row;
}

void FeedsOutlineModel::insertRun(int parentEntry, int row, const std::vector<graph::ObjectID>& ids) {
    if (ids.empty()) return;
    const int size = static_cast<int>(childrenOf(parentEntry).size());
    row = std::clamp(row, parentEntry == root ? smartGroupsCount : 0, size);
    std::vector<int> made;
    for (const graph::ObjectID& id : ids) made.push_back(newEntry(id, parentEntry));
    readNodes(made);
    // Feeds get icons where the others are drawn: at the top, or in a
    // folder whose feeds have theirs (or that had none so far).
    const bool withIcons = parentEntry == root || entries_[parentEntry].childIconsLoaded || size == 0;
    if (withIcons) {
        readIcons(made);
        if (parentEntry != root) entries_[parentEntry].childIconsLoaded = true;
    }
    beginInsertRows(indexOfEntry(parentEntry), row, row + static_cast<int>(made.size()) - 1);
    std::vector<int>& children = childrenOf(parentEntry);
    children.insert(children.begin() + row, made.begin(), made.end());
    renumber(parentEntry, row);
    endInsertRows();
}

void FeedsOutlineModel::insertAt(int parentEntry, const std::vector<std::pair<int, graph::ObjectID>>& rows) {
    // Runs of neighbouring new rows, first run first, each one step.
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        std::vector<graph::ObjectID> run{rows[i].second};
        while (j + 1 < rows.size() && rows[j + 1].first == rows[j].first + 1) run.push_back(rows[++j].second);
        insertRun(parentEntry, rows[i].first, run);
        i = j + 1;
    }
}

void FeedsOutlineModel::removeRun(int parentEntry, int first, int last) {
    beginRemoveRows(indexOfEntry(parentEntry), first, last);
    std::vector<int>& children = childrenOf(parentEntry);
    const std::vector<int> gone(children.begin() + first, children.begin() + last + 1);
    children.erase(children.begin() + first, children.begin() + last + 1);
    for (int entryIndex : gone) release(entryIndex);
    renumber(parentEntry, first);
    endRemoveRows();
}

void FeedsOutlineModel::removeEntries(int parentEntry, std::vector<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // Runs of neighbouring rows, last run first, each one step.
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] + 1 == rows[j]) ++j;
        removeRun(parentEntry, rows[j], rows[i]);
        i = j + 1;
    }
}

void FeedsOutlineModel::moveEntry(int entryIndex, int parentEntry, int row) {
    const int from = entries_[entryIndex].parent;
    const int fromRow = entries_[entryIndex].row;
    const bool sameParent = from == parentEntry;
    const int size = static_cast<int>(childrenOf(parentEntry).size()) - (sameParent ? 1 : 0);
    row = std::clamp(row, parentEntry == root ? smartGroupsCount : 0, size);
    if (sameParent && row == fromRow) return;
    // Qt counts the destination before the row has left its place.
    const int destination = sameParent && row > fromRow ? row + 1 : row;
    if (!beginMoveRows(indexOfEntry(from), fromRow, fromRow, indexOfEntry(parentEntry), destination)) return;
    std::vector<int>& source = childrenOf(from);
    source.erase(source.begin() + fromRow);
    renumber(from, fromRow);
    std::vector<int>& target = childrenOf(parentEntry);
    target.insert(target.begin() + row, entryIndex);
    entries_[entryIndex].parent = parentEntry;
    renumber(parentEntry, sameParent ? std::min(row, fromRow) : row);
    endMoveRows();
}

void FeedsOutlineModel::refreshEntries(std::vector<int> entries) {
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    std::erase_if(entries, [&](int e) { return e == root || !entries_[e].live; });
    if (entries.empty()) return;
    readNodes(entries);
    for (int e : entries) {
        const QModelIndex at = indexOfEntry(e);
        Q_EMIT dataChanged(at, at);
    }
}

void FeedsOutlineModel::refresh(const std::vector<graph::ObjectID>& ids) {
    std::vector<int> entries;
    for (const graph::ObjectID& id : ids)
        if (auto e = entryOf(id)) entries.push_back(*e);
    refreshEntries(std::move(entries));
}

void FeedsOutlineModel::moveNode(const graph::ObjectID& id, const std::optional<graph::ObjectID>& parent, int index) {
    const auto e = entryOf(id);
    const auto target = entryOf(NodeInfo{parent});
    if (!e || !target) return;
    moveEntry(*e, *target, index);
}

void FeedsOutlineModel::removeNode(const graph::ObjectID& id) {
    if (const auto e = entryOf(id)) removeEntries(entries_[*e].parent, {entries_[*e].row});
}

// --- Change sets ---

void FeedsOutlineModel::apply(const std::vector<FeedsChangingInfo>& changes, const Tree& after) {
    // Old indexes name rows of the tree as the set found it.
    const Tree before = snapshotTree();
    std::vector<int> touched;  // rows to re-read: updated nodes, folders whose feeds changed
    auto idAt = [](const std::vector<graph::ObjectID>* ids, int index) -> std::optional<graph::ObjectID> {
        if (!ids || index < 0 || index >= static_cast<int>(ids->size())) return std::nullopt;
        return (*ids)[index];
    };
    for (const FeedsChangingInfo& change : changes) {
        for (const auto& [parent, indexes] : change.indexesInfo) {
            const auto parentEntry = entryOf(parent);
            if (!parentEntry) continue;
            const int offset = parent.nodeID ? 0 : smartGroupsCount;
            if (*parentEntry != root) touched.push_back(*parentEntry);
            switch (change.type) {
                case graph::ResultsChange::insert: {
                    std::vector<std::pair<int, graph::ObjectID>> rows;
                    for (int index : indexes) {
                        auto id = idAt(after.nodes(parent), index - offset);
                        if (id && !entryOf(*id)) rows.emplace_back(index, *id);
                    }
                    insertAt(*parentEntry, rows);
                    break;
                }
                case graph::ResultsChange::remove: {
                    std::map<int, std::vector<int>> rowsByParent;
                    for (int index : indexes) {
                        auto id = idAt(before.nodes(parent), index - offset);
                        if (auto e = id ? entryOf(*id) : std::nullopt) rowsByParent[entries_[*e].parent].push_back(entries_[*e].row);
                    }
                    for (auto& [from, rows] : rowsByParent) removeEntries(from, std::move(rows));
                    break;
                }
                case graph::ResultsChange::move: {
                    if (!change.newIndexInfo) break;
                    const auto target = entryOf(change.newIndexInfo->parent);
                    if (!target) break;
                    if (*target != root) touched.push_back(*target);
                    for (int index : indexes) {
                        // A target past the end is left to the fitting below.
                        if (change.newIndexInfo->index >= static_cast<int>(childrenOf(*target).size())) continue;
                        auto id = idAt(before.nodes(parent), index - offset);
                        // A moved node may have changed too (a new name reorders it).
                        if (auto e = id ? entryOf(*id) : std::nullopt) {
                            moveEntry(*e, *target, change.newIndexInfo->index);
                            touched.push_back(*e);
                        }
                    }
                    break;
                }
                case graph::ResultsChange::update:
                    for (int index : indexes) {
                        auto id = idAt(after.nodes(parent), index - offset);
                        if (auto e = id ? entryOf(*id) : std::nullopt) touched.push_back(*e);
                    }
                    break;
            }
        }
    }
    fit(after);
    refreshEntries(std::move(touched));
}

void FeedsOutlineModel::fit(const Tree& after) {
    std::unordered_set<graph::ObjectID, graph::ObjectIDHash> kept(after.root.begin(), after.root.end());
    for (const auto& [folder, feeds] : after.children) kept.insert(feeds.begin(), feeds.end());
    // Rows of nodes the tree no longer holds: feeds in folders, then the top.
    const std::vector<int> tops(rootEntries_.begin() + smartGroupsCount, rootEntries_.end());
    for (int top : tops) {
        if (!entries_[top].folder) continue;
        std::vector<int> rows;
        for (int child : entries_[top].children)
            if (!kept.count(std::get<graph::ObjectID>(entries_[child].item))) rows.push_back(entries_[child].row);
        removeEntries(top, std::move(rows));
    }
    std::vector<int> rows;
    for (int top : tops)
        if (!kept.count(std::get<graph::ObjectID>(entries_[top].item))) rows.push_back(entries_[top].row);
    removeEntries(root, std::move(rows));

    // Nodes out of place were most likely renamed: they are read again.
    std::vector<int> moved;
    placeChildren(root, after.root, smartGroupsCount, moved);
    static const std::vector<graph::ObjectID> none;
    std::vector<std::pair<int, std::size_t>> sizes;
    for (const graph::ObjectID& id : after.root) {
        const auto folder = isFolder(id) ? entryOf(id) : std::nullopt;
        if (!folder) continue;
        const auto* feeds = after.nodes(NodeInfo{id});
        placeChildren(*folder, feeds ? *feeds : none, 0, moved);
        sizes.emplace_back(*folder, feeds ? feeds->size() : 0);
    }
    // Only now: feeds left below a folder's own may still go to a later one.
    for (const auto& [folder, size] : sizes) truncate(folder, size);
    truncate(root, smartGroupsCount + after.root.size());
    refreshEntries(std::move(moved));
}

void FeedsOutlineModel::placeChildren(int parentEntry, const std::vector<graph::ObjectID>& ids, int offset,
                                      std::vector<int>& moved) {
    for (std::size_t k = 0; k < ids.size(); ++k) {
        const int row = offset + static_cast<int>(k);
        const std::vector<int>& children = childrenOf(parentEntry);
        if (row < static_cast<int>(children.size()) && entries_[children[row]].item == FeedsOutlineItem(ids[k])) continue;
        if (const auto e = entryOf(ids[k])) {
            moveEntry(*e, parentEntry, row);
            moved.push_back(*e);
            continue;
        }
        // Nodes new to the snapshot, as one run.
        std::vector<graph::ObjectID> run{ids[k]};
        while (k + 1 < ids.size() && !entryOf(ids[k + 1])) run.push_back(ids[++k]);
        insertRun(parentEntry, row, run);
    }
}

void FeedsOutlineModel::truncate(int parentEntry, std::size_t size) {
    const std::size_t count = childrenOf(parentEntry).size();
    if (count > size) removeRun(parentEntry, static_cast<int>(size), static_cast<int>(count) - 1);
}

void FeedsOutlineModel::readSmartGroup(Entry& entry) const {
    const auto group = std::get<FeedsSmartGroup>(entry.item);
    const SmartGroupText text = textOf(group);
    entry.name = text.key ? QString::fromStdString(FeedsCellView::localized(text.key)) : QString();
    entry.count = text.counted ? static_cast<std::int64_t>(articlesSource_.articlesCount(text.filter)) : 0;
}

void FeedsOutlineModel::readNodes(const std::vector<int>& entries) {
    if (entries.empty()) return;
    graph::Context& context = *dataController_->mainContext();
    // One block for every row: names, counts and icons of one consistent
    // state. A refresh touches every feed: they are read together.
    context.performAndWait([&] {
        std::vector<graph::ObjectID> ids;
        ids.reserve(entries.size());
        for (int index : entries) ids.push_back(std::get<graph::ObjectID>(entries_[index].item));
        const auto readings = nodesSource_->readNodes(ids);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto& node = readings[i].node;
            if (!node || node->isDeleted()) continue;
            Entry& entry = entries_[entries[i]];
            entry.name = displayName(node->name().value_or(std::string()));
            entry.count = readings[i].unreadCount.value_or(0);
        }
    });
}

void FeedsOutlineModel::readIcons(const std::vector<int>& entries) {
    graph::Context& context = *dataController_->mainContext();
    context.performAndWait([&] {
        for (int index : entries) {
            Entry& entry = entries_[index];
            if (entry.folder || !std::holds_alternative<graph::ObjectID>(entry.item)) continue;
            auto node = Node::from(context.object(std::get<graph::ObjectID>(entry.item)));
            if (!node || node->isDeleted()) continue;
            if (auto icon = NodeIcons::iconImage(*nodesSource_, *node, QSizeF(iconSize, iconSize)))
                entry.icon = QPixmap::fromImage(*icon);
        }
    });
}

void FeedsOutlineModel::loadIcons(const QModelIndex& folder) {
    const Entry* found = entry(folder);
    if (!found || !found->folder || found->childIconsLoaded || found->children.empty()) return;
    const int folderEntry = static_cast<int>(folder.internalId() - 1);
    entries_[folderEntry].childIconsLoaded = true;
    readIcons(entries_[folderEntry].children);
    Q_EMIT dataChanged(index(0, 0, folder), index(static_cast<int>(found->children.size()) - 1, 0, folder),
                       {IconRole});
}

void FeedsOutlineModel::reloadRowsSoon() {
    // Unsaved changes of the main context are not in the store yet: only the
    // main context counts them.
    if (dataController_->mainContext()->hasChanges()) {
        reloadRows();
        Q_EMIT smartGroupCountsRead();
        return;
    }
    if (countsReading_) {
        countsAgain_ = true;
        return;
    }
    startCountsRead();
}

void FeedsOutlineModel::startCountsRead() {
    countsReading_ = true;
    std::vector<FeedsSmartGroup> groups;
    std::vector<std::optional<ArticlesSourceFilter>> filters;
    for (FeedsSmartGroup group : allFeedsSmartGroups) {
        const SmartGroupText text = textOf(group);
        if (!text.counted) continue;
        groups.push_back(group);
        filters.push_back(text.filter);
    }
    QPointer<FeedsOutlineModel> self(this);
    articlesSource_.countArticles(
        std::move(filters), [self, groups, generation = countsGeneration_](std::vector<std::size_t> counts) {
            dispatch::MainQueue::shared().async([self, groups, generation, counts = std::move(counts)] {
                if (self) self->takeCounts(generation, groups, counts);
            });
        });
}

void FeedsOutlineModel::takeCounts(int generation, const std::vector<FeedsSmartGroup>& groups,
                                   const std::vector<std::size_t>& counts) {
    countsReading_ = false;
    if (generation == countsGeneration_) {
        for (std::size_t index = 0; index < groups.size(); ++index)
            entries_[rootEntries_[rawValue(groups[index])]].count = static_cast<std::int64_t>(counts[index]);
        Q_EMIT dataChanged(index(0, 0), index(rawValue(FeedsSmartGroup::add), 0), {CountRole});
    }
    if (std::exchange(countsAgain_, false)) {
        startCountsRead();
        return;
    }
    Q_EMIT smartGroupCountsRead();
}

void FeedsOutlineModel::reloadRows() {
    ++countsGeneration_;
    for (FeedsSmartGroup group : allFeedsSmartGroups) {
        if (group == FeedsSmartGroup::separator) continue;
        readSmartGroup(entries_[rootEntries_[rawValue(group)]]);
    }
    Q_EMIT dataChanged(index(0, 0), index(rawValue(FeedsSmartGroup::add), 0));
}

std::optional<FeedsOutlineItem> FeedsOutlineModel::item(const QModelIndex& index) const {
    const Entry* found = entry(index);
    if (!found) return std::nullopt;
    return found->item;
}

QModelIndex FeedsOutlineModel::indexForItem(const FeedsOutlineItem& item) const {
    if (const auto* group = std::get_if<FeedsSmartGroup>(&item)) return index(rawValue(*group), 0);
    auto found = entryOfNode_.find(std::get<graph::ObjectID>(item));
    if (found == entryOfNode_.end()) return {};
    return createIndex(entries_[found->second].row, 0, idFor(found->second));
}

bool FeedsOutlineModel::isFolder(const graph::ObjectID& id) const { return id.entity() == folderEntity_; }

std::optional<Node> FeedsOutlineModel::objectValue(const FeedsOutlineItem& item) const {
    const auto* id = std::get_if<graph::ObjectID>(&item);
    if (!id) return std::nullopt;
    graph::Context& context = *dataController_->mainContext();
    std::optional<Node> node;
    context.performAndWait([&] {
        auto object = context.existingObject(*id);
        if (object.ok()) node = Node::from(object.value());
    });
    return node;
}

const FeedsOutlineModel::Entry* FeedsOutlineModel::entry(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return nullptr;
    const quintptr id = index.internalId();
    if (id == 0 || id > entries_.size() || !entries_[id - 1].live) return nullptr;
    return &entries_[id - 1];
}

QModelIndex FeedsOutlineModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) {
        if (row >= static_cast<int>(rootEntries_.size())) return {};
        return createIndex(row, 0, idFor(rootEntries_[row]));
    }
    const Entry* folder = entry(parent);
    if (!folder || row >= static_cast<int>(folder->children.size())) return {};
    return createIndex(row, 0, idFor(folder->children[row]));
}

QModelIndex FeedsOutlineModel::parent(const QModelIndex& child) const {
    const Entry* found = entry(child);
    if (!found || found->parent < 0) return {};
    return createIndex(entries_[found->parent].row, 0, idFor(found->parent));
}

int FeedsOutlineModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(rootEntries_.size());
    if (parent.column() != 0) return 0;
    const Entry* found = entry(parent);
    return found ? static_cast<int>(found->children.size()) : 0;
}

int FeedsOutlineModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return 1;
}

bool FeedsOutlineModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant FeedsOutlineModel::data(const QModelIndex& index, int role) const {
    const Entry* found = entry(index);
    if (!found) return {};
    const auto* group = std::get_if<FeedsSmartGroup>(&found->item);
    switch (role) {
        case Qt::DisplayRole: return found->name;
        case CountRole: return QVariant::fromValue<qint64>(found->count);
        case IconRole: return found->icon;
        case SmartGroupRole: return group ? rawValue(*group) : -1;
        case FolderRole: return found->folder;
        case UserSelectableRole:
            return !group || (*group != FeedsSmartGroup::add && *group != FeedsSmartGroup::separator);
        default: return {};
    }
}

Qt::ItemFlags FeedsOutlineModel::flags(const QModelIndex& index) const {
    // The root takes drops too: between its rows, and the rules sort them out.
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    const Entry* found = entry(index);
    if (!found) return Qt::NoItemFlags;
    // Every row can be selected by a command (stepping up from the first
    // node reaches the separator); the view keeps the user off add and
    // separator.
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    if (std::holds_alternative<graph::ObjectID>(found->item)) flags |= Qt::ItemIsDragEnabled;
    if (found->folder) flags |= Qt::ItemIsEditable;
    else flags |= Qt::ItemNeverHasChildren;
    return flags;
}

// --- Drag and drop ---

QString FeedsOutlineModel::pasteboardType() {
    return QStringLiteral("application/x-") + QString::fromStdString(Node::pasteboardType());
}

QStringList FeedsOutlineModel::mimeTypes() const { return {pasteboardType()}; }

QMimeData* FeedsOutlineModel::mimeData(const QModelIndexList&) const {
    // The dragged node is known to the sidebar itself; nothing travels.
    auto* data = new QMimeData();
    data->setData(pasteboardType(), QByteArray());
    return data;
}

Qt::DropActions FeedsOutlineModel::supportedDragActions() const { return Qt::MoveAction; }

Qt::DropActions FeedsOutlineModel::supportedDropActions() const { return Qt::MoveAction; }

bool FeedsOutlineModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                        const QModelIndex&) const {
    // Every place is offered; the drop itself decides.
    return data && action == Qt::MoveAction && data->hasFormat(pasteboardType());
}

bool FeedsOutlineModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                     const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent) || !dropHandler_) return false;
    std::optional<FeedsOutlineItem> target;
    if (parent.isValid()) {
        target = item(parent);
        if (!target) return false;
    }
    return dropHandler_(target, row);
}

// --- The drop rules' view ---

bool FeedsOutlineModel::isExpandable(const std::optional<graph::ObjectID>& item) const {
    return !item || isFolder(*item);
}

int FeedsOutlineModel::childIndex(const graph::ObjectID& item) const {
    const auto e = entryOf(item);
    return e ? entries_[*e].row : -1;
}

std::optional<graph::ObjectID> FeedsOutlineModel::parent(const graph::ObjectID& item) const {
    const auto e = entryOf(item);
    if (!e || entries_[*e].parent == root) return std::nullopt;
    return std::get<graph::ObjectID>(entries_[entries_[*e].parent].item);
}

}  // namespace tallowmere
