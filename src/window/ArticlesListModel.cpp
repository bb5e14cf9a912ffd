#include "window/ArticlesListModel.h"

#include <algorithm>
#include <unordered_set>

#include "sources/ArticlesSource.h"

namespace tallowmere {

using graph::ObjectID;

ArticlesListModel::ArticlesListModel(ArticlesSource& source, QObject* parent)
    : QAbstractListModel(parent), source_(source) {
    ids_ = source_.listedArticleIDs();
    stamp_ = currentStamp();
}

int ArticlesListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ids_.size());
}

QVariant ArticlesListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    auto article = this->article(index.row());
    if (!article || !article->context()) return {};
    std::optional<std::string> title;
    article->context()->performAndWait([&] { title = article->title(); });
    return QString::fromStdString(title.value_or(std::string()));
}

std::optional<ObjectID> ArticlesListModel::articleID(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= ids_.size()) return std::nullopt;
    return ids_[static_cast<std::size_t>(row)];
}

std::optional<Article> ArticlesListModel::article(int row) const {
    auto id = articleID(row);
    if (!id) return std::nullopt;
    // The source loads its rows a batch at a time; use it while it agrees.
    const auto index = static_cast<std::size_t>(row);
    if (source_.listedArticleID(index) == id) {
        if (auto article = source_.article(index)) return article;
    }
    return source_.article(*id);
}

std::optional<int> ArticlesListModel::row(const ObjectID& id) const {
    auto found = std::find(ids_.begin(), ids_.end(), id);
    if (found == ids_.end()) return std::nullopt;
    return static_cast<int>(found - ids_.begin());
}

ArticlesListModel::Stamp ArticlesListModel::currentStamp() const { return Stamp{source_.listGeneration(), stamp_.resets}; }

void ArticlesListModel::reload() { reload(source_.listedArticleIDs()); }

void ArticlesListModel::reload(std::vector<ObjectID> ids) {
    beginResetModel();
    ids_ = std::move(ids);
    ids_.shrink_to_fit();
    stamp_ = Stamp{source_.listGeneration(), stamp_.resets + 1};
    endResetModel();
}

// Whether the reports can be read against the copy: rows it has, counts
// that lead to the list left behind.
bool ArticlesListModel::fits(const std::vector<ArticlesChangingInfo>& batch, const IDs& after) const {
    std::unordered_set<ObjectID> removed;
    std::size_t inserted = 0;
    for (const auto& info : batch) {
        if (info.type == ArticlesChangingInfo::Type::insert) {
            if (info.insertedIDs.size() != info.indexes.size()) return false;
            inserted += info.insertedIDs.size();
            continue;
        }
        for (std::size_t row : info.indexes)
            if (row >= ids_.size()) return false;
        if (info.type == ArticlesChangingInfo::Type::remove)
            for (std::size_t row : info.indexes)
                if (!removed.insert(ids_[row]).second) return false;
        if (info.type == ArticlesChangingInfo::Type::move && (!info.newRow || !info.movedID)) return false;
    }
    return ids_.size() - removed.size() + inserted == after.size();
}

bool ArticlesListModel::apply(const std::vector<ArticlesChangingInfo>& batch, const IDs& after) {
    if (!fits(batch, after)) return false;
    const IDs* target = &after;
    // Rows named by old row numbers, turned into articles before any step.
    std::vector<std::vector<ObjectID>> named(batch.size());
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (batch[i].type == ArticlesChangingInfo::Type::insert) continue;
        for (std::size_t row : batch[i].indexes) named[i].push_back(ids_[row]);
    }
    std::vector<ObjectID> updated;
    bool placedMoves = false;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        switch (batch[i].type) {
        case ArticlesChangingInfo::Type::remove:
            removeArticles(named[i]);
            break;
        case ArticlesChangingInfo::Type::insert:
            insertArticles(batch[i]);
            break;
        case ArticlesChangingInfo::Type::move:
            if (!placedMoves) moveIntoPlace(*target);
            placedMoves = true;
            break;
        case ArticlesChangingInfo::Type::update:
            updated.insert(updated.end(), named[i].begin(), named[i].end());
            break;
        }
    }
    // Whatever the steps left out of place (nothing, for a batch reported
    // in the usual order) moves now, row by row.
    moveIntoPlace(*target);
    if (ids_ != *target) return false;
    reportUpdates(updated);
    return true;
}

std::optional<std::size_t> ArticlesListModel::find(const ObjectID& id, std::size_t hint) const {
    if (hint < ids_.size() && ids_[hint] == id) return hint;
    auto found = std::find(ids_.begin(), ids_.end(), id);
    if (found == ids_.end()) return std::nullopt;
    return static_cast<std::size_t>(found - ids_.begin());
}

void ArticlesListModel::removeArticles(const std::vector<ObjectID>& ids) {
    std::vector<std::size_t> rows;
    for (const auto& id : ids)
        if (auto row = find(id, 0)) rows.push_back(*row);
    std::sort(rows.begin(), rows.end(), std::greater<>());
    // Runs of neighbouring rows, last run first, each one step.
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] + 1 == rows[j]) ++j;
        const std::size_t first = rows[j], last = rows[i];
        beginRemoveRows({}, static_cast<int>(first), static_cast<int>(last));
        ids_.erase(ids_.begin() + static_cast<std::ptrdiff_t>(first), ids_.begin() + static_cast<std::ptrdiff_t>(last + 1));
        endRemoveRows();
        i = j + 1;
    }
}

void ArticlesListModel::insertArticles(const ArticlesChangingInfo& info) {
    // Runs of neighbouring new rows, first run first, each one step.
    for (auto it = info.insertedIDs.begin(); it != info.insertedIDs.end();) {
        auto end = std::next(it);
        std::size_t last = it->first;
        while (end != info.insertedIDs.end() && end->first == last + 1) last = (end++)->first;
        const std::size_t first = std::min(it->first, ids_.size());
        const std::size_t count = last - it->first + 1;
        beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
        std::vector<ObjectID> run;
        for (auto k = it; k != end; ++k) run.push_back(k->second);
        ids_.insert(ids_.begin() + static_cast<std::ptrdiff_t>(first), run.begin(), run.end());
        endInsertRows();
        it = end;
    }
}

void ArticlesListModel::moveIntoPlace(const IDs& target) {
    for (std::size_t p = 0; p < target.size() && p < ids_.size(); ++p) {
        if (ids_[p] == target[p]) continue;
        auto from = std::find(ids_.begin() + static_cast<std::ptrdiff_t>(p) + 1, ids_.end(), target[p]);
        if (from == ids_.end()) return;  // not in the copy: the caller resets
        const auto c = static_cast<std::size_t>(from - ids_.begin());
        beginMoveRows({}, static_cast<int>(c), static_cast<int>(c), {}, static_cast<int>(p));
        const ObjectID id = ids_[c];
        ids_.erase(from);
        ids_.insert(ids_.begin() + static_cast<std::ptrdiff_t>(p), id);
        endMoveRows();
    }
}

void ArticlesListModel::reportUpdates(const std::vector<ObjectID>& ids) {
    std::vector<std::size_t> rows;
    for (const auto& id : ids)
        if (auto row = find(id, 0)) rows.push_back(*row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
        Q_EMIT dataChanged(index(static_cast<int>(rows[i])), index(static_cast<int>(rows[j])));
        i = j + 1;
    }
}

}  // namespace tallowmere
