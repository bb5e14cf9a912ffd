#include "window/FeedsOutlineModel.h"

#include <QSizeF>

#include "images/NodeIcons.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "store/Folder.h"
#include "window/FeedsCellView.h"

namespace tallowmere {

class FeedsOutlineModel::ChangeForwarder : public NodesSourceDelegate {
public:
    explicit ChangeForwarder(FeedsOutlineModel& model) : model_(model) {}
    void nodesSourceWillChangeContent() override {}
    void nodesSourceDidChangeContent() override { model_.reload(); }

private:
    FeedsOutlineModel& model_;
};

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
      changeForwarder_(std::make_shared<ChangeForwarder>(*this)),
      folderEntity_(dataController_->persistentContainer().entity(Folder::entityName)) {
    buildSnapshot();
}

FeedsOutlineModel::~FeedsOutlineModel() = default;

std::shared_ptr<NodesSourceDelegate> FeedsOutlineModel::nodesSourceDelegate() const { return changeForwarder_; }

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
    endResetModel();
}

void FeedsOutlineModel::buildSnapshot() {
    entries_.clear();
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
    std::vector<int> nodes;
    auto addNode = [&](const graph::ObjectID& id, int parent, int row) {
        Entry entry;
        entry.item = id;
        entry.parent = parent;
        entry.row = row;
        entry.folder = id.entity() == folderEntity_;
        const int index = static_cast<int>(entries_.size());
        entries_.push_back(std::move(entry));
        entryOfNode_[id] = index;
        nodes.push_back(index);
        return index;
    };
    const std::size_t topLevel = nodesSource_->numberOfChildren(std::nullopt);
    for (std::size_t i = 0; i < topLevel; ++i) {
        graph::ObjectID id = nodesSource_->child(i, std::nullopt);
        if (!id.isValid()) continue;
        const int index = addNode(id, -1, static_cast<int>(rootEntries_.size()));
        rootEntries_.push_back(index);
        if (!entries_[index].folder) continue;
        const std::size_t feeds = nodesSource_->numberOfChildren(id);
        for (std::size_t k = 0; k < feeds; ++k) {
            graph::ObjectID feedID = nodesSource_->child(k, id);
            if (!feedID.isValid()) continue;
            const int child = addNode(feedID, index, static_cast<int>(entries_[index].children.size()));
            entries_[index].children.push_back(child);
        }
    }
    readNodes(nodes);
    readIcons(rootEntries_);
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
    // One block for every row: names, counts and icons of one consistent state.
    context.performAndWait([&] {
        for (int index : entries) {
            Entry& entry = entries_[index];
            auto node = Node::from(context.object(std::get<graph::ObjectID>(entry.item)));
            if (!node || node->isDeleted()) continue;
            entry.name = displayName(node->name().value_or(std::string()));
            entry.count = nodesSource_->unreadArticlesCount(*node).value_or(0);
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

void FeedsOutlineModel::reloadRows() {
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
    if (id == 0 || id > entries_.size()) return nullptr;
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
    if (!entry(index)) return Qt::NoItemFlags;
    // Every row can be selected by a command (stepping up from the first
    // node reaches the separator); the view keeps the user off add and
    // separator.
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!entry(index)->folder) flags |= Qt::ItemNeverHasChildren;
    return flags;
}

}  // namespace tallowmere
