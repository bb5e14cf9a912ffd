#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/graph/ObjectID.h"
#include "store/Article.h"
#include "window/ArticlesChangingInfo.h"

namespace tallowmere {

class ArticlesSource;

// The rows of the article list: its own copy of the listed article IDs,
// changed only by exact row steps, so that the view never reads a row that
// its last signal did not announce. Articles are read lazily, through the
// source's list while it still holds the same article at that row.
class ArticlesListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // Which list the copy follows: the source's list generation and the
    // number of resets so far. A batch reported under another stamp does
    // not fit the copy.
    struct Stamp {
        std::uint64_t generation = 0;
        std::uint64_t resets = 0;
        bool operator==(const Stamp&) const = default;
    };

    explicit ArticlesListModel(ArticlesSource& source, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // The title, as plain text, for the display role.
    QVariant data(const QModelIndex& index, int role) const override;

    ArticlesSource& source() const { return source_; }
    std::optional<graph::ObjectID> articleID(int row) const;
    std::optional<Article> article(int row) const;
    std::optional<int> row(const graph::ObjectID& id) const;
    const std::vector<graph::ObjectID>& articleIDs() const { return ids_; }

    // Takes the source's list as it is now, or the given list of the
    // source's current generation.
    void reload();
    void reload(std::vector<graph::ObjectID> ids);
    Stamp stamp() const { return stamp_; }
    // The stamp a report made now would carry.
    Stamp currentStamp() const;

    // Applies one batch, reported against the copy as it is, as row steps in
    // the order of the batch, ending at `after`, the list the batch left.
    // Rows the reports leave out of place are moved into place. A batch that
    // does not fit the copy is not applied: then it returns false.
    bool apply(const std::vector<ArticlesChangingInfo>& batch, const std::vector<graph::ObjectID>& after);
    // Tells the views that the rows of these articles (those listed) show
    // something new.
    void reportUpdates(const std::vector<graph::ObjectID>& ids);

private:
    using IDs = std::vector<graph::ObjectID>;
    bool fits(const std::vector<ArticlesChangingInfo>& batch, const IDs& after) const;
    void removeArticles(const std::vector<graph::ObjectID>& ids);
    void insertArticles(const ArticlesChangingInfo& info);
    void moveIntoPlace(const IDs& target);
    std::optional<std::size_t> find(const graph::ObjectID& id, std::size_t hint) const;

    ArticlesSource& source_;
    IDs ids_;
    Stamp stamp_;
};

}  // namespace tallowmere
