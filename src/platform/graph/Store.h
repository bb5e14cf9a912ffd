#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/graph/Database.h"
#include "platform/graph/GraphError.h"
#include "platform/graph/ModelDescription.h"
#include "platform/graph/WalCheckpointer.h"

namespace tallowmere::graph {

// The columns of one table as rows are read: id, entity (shared tables only),
// version, then one column per attribute or to-one key of every entity that
// lives in the table.
struct TableLayout {
    std::string selectList;  // "t0.id, ..." for a FROM of `from`
    std::string from;        // the table as t0, joined with its large table when read
    int entityColumn = -1;
    int versionColumn = 1;
    std::vector<const PropertyDescription*> columns;
    std::unordered_map<const PropertyDescription*, int> position;  // result column of each property
};

// The SQLite file behind a container: schema from the model, the store
// identifier, key reservation and the one connection. Users lock mutex()
// around every use of db().
class Store {
public:
    static Result<std::unique_ptr<Store>> open(const std::string& path, ModelDescription& model);

    std::mutex& mutex() { return mutex_; }
    Database& db() { return *db_; }
    const std::string& identifier() const { return identifier_; }
    const ModelDescription& model() const { return model_; }
    const TableLayout& layout(const EntityDescription& entity) const { return layouts_.at(entity.root()); }
    // The same without the attributes loaded on demand.
    const TableLayout& slimLayout(const EntityDescription& entity) const { return slimLayouts_.at(entity.root()); }
    // The concrete entity of the row the statement is on.
    const EntityDescription* rowEntity(const Statement& row, const EntityDescription& fetched) const;
    // Hands out `count` fresh primary keys of the entity's table (never reused,
    // also after a rolled-back save). Under mutex().
    std::int64_t reserveKeys(const EntityDescription& entity, std::int64_t count);
    // Moves the entity's next key past the keys other connections on the
    // file have used, unless the next `count` keys were reserved ahead by
    // this connection. Under mutex(), inside a write transaction.
    void catchUpKeys(const EntityDescription& entity, std::int64_t count);
    // Whether the next `count` keys of the entity were reserved ahead (then
    // handing them out needs no write). Under mutex().
    bool holdsReservedKeys(const EntityDescription& entity, std::int64_t count) const;
    // Writes the reservations to sqlite_sequence so that a restart does not
    // hand them out again, with `ahead` more keys of each table reserved for
    // this connection once the transaction has been committed.
    Result<void> persistReservations(std::int64_t ahead);
    // The transaction of persistReservations has been committed.
    void keepReservations();

private:
    explicit Store(ModelDescription& model) : model_(model) {}
    Result<void> createSchema();
    Result<void> createTable(const EntityDescription& root);
    Result<void> createKeyIndex(const EntityDescription& root, const PropertyDescription& key);
    Result<std::string> createIndex(const EntityDescription& root, const EntityDescription& entity, const IndexDescription& index);
    Result<void> dropIndexesOtherThan(const EntityDescription& root, const std::set<std::string>& wanted);
    Result<void> createLargeTable(const EntityDescription& root, const std::vector<const PropertyDescription*>& columns,
                                  const std::set<std::string>& inTable);
    Result<bool> compressLargeTexts(const EntityDescription& root);
    bool largeTextsCompressed();
    Result<void> markLargeTextsCompressed();
    Result<void> shrinkFile();
    Result<void> loadIdentifier();
    void buildLayout(const EntityDescription& root);

    ModelDescription& model_;
    std::mutex mutex_;
    // Declared first, so destroyed after the connection it serves.
    std::unique_ptr<WalCheckpointer> checkpointer_;
    std::unique_ptr<Database> db_;
    std::string identifier_;
    std::unordered_map<const EntityDescription*, TableLayout> layouts_;
    std::unordered_map<const EntityDescription*, TableLayout> slimLayouts_;
    std::unordered_map<const EntityDescription*, std::int64_t> nextKey_;
    // The last key reserved ahead, committed and awaiting its commit.
    std::unordered_map<const EntityDescription*, std::int64_t> reservedUpTo_;
    std::unordered_map<const EntityDescription*, std::int64_t> reservingUpTo_;
};

}  // namespace tallowmere::graph
