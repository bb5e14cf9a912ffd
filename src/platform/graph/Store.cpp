#include "platform/graph/Store.h"

#include "platform/graph/CompressedText.h"

#include <cstdio>
#include <random>
#include <set>

namespace tallowmere::graph {

namespace {
const char* columnType(const PropertyDescription& p) {
    if (p.isToOne()) return "INTEGER";
    switch (p.type) {
        case AttributeType::string: return "TEXT";
        case AttributeType::real:
        case AttributeType::date: return "REAL";
        case AttributeType::binary: return "BLOB";
        default: return "INTEGER";
    }
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

std::string columnDefinition(const PropertyDescription& p) {
    std::string def = quoted(p.column) + " " + columnType(p);
    if (p.isToOne()) {
        // Deleting the destination row applies the destination side's rule:
        // a cascading to-many takes this row along, otherwise the key is cleared.
        const bool cascade = p.inverse && p.inverse->deleteRule == DeleteRule::cascade;
        def += " REFERENCES " + quoted(p.destination->table()) + "(id) ON DELETE " + (cascade ? "CASCADE" : "SET NULL") +
               " DEFERRABLE INITIALLY DEFERRED";
    }
    return def;
}

std::string makeUuid() {
    std::random_device device;
    std::mt19937_64 generator((static_cast<std::uint64_t>(device()) << 32) ^ device());
    std::uint64_t a = generator(), b = generator();
    a = (a & 0xffffffffffff0fffULL) | 0x0000000000004000ULL;
    b = (b & 0x3fffffffffffffffULL) | 0x8000000000000000ULL;
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xffff), static_cast<unsigned>(a & 0xffff),
                  static_cast<unsigned>(b >> 48), static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return text;
}
}  // namespace

Result<std::unique_ptr<Store>> Store::open(const std::string& path, ModelDescription& model) {
    if (auto problem = model.finalize()) return GraphError{GraphErrorCode::schemaFailed, *problem};
    auto database = Database::open(path);
    if (!database) return database.error();
    auto store = std::unique_ptr<Store>(new Store(model));
    store->db_ = std::move(database.value());
    if (auto done = store->createSchema(); !done) return done.error();
    if (auto done = store->loadIdentifier(); !done) return done.error();
    model.setStoreIdentifier(store->identifier_);
    store->checkpointer_ = WalCheckpointer::attach(store->db_->handle(), path);
    return store;
}

Result<void> Store::createSchema() {
    if (auto done = db_->exec("BEGIN IMMEDIATE"); !done) return done;
    auto fail = [this](GraphError error) -> Result<void> {
        db_->exec("ROLLBACK");
        error.code = GraphErrorCode::schemaFailed;
        return error;
    };
    if (auto done = db_->exec("CREATE TABLE IF NOT EXISTS graph_metadata(key TEXT PRIMARY KEY, value TEXT)"); !done)
        return fail(done.error());
    const bool textsPending = !largeTextsCompressed();
    bool compressed = false;
    for (const auto& e : model_.entities()) {
        if (e.root() != &e) continue;
        if (auto done = createTable(e); !done) return fail(done.error());
        if (textsPending) {
            auto converted = compressLargeTexts(e);
            if (!converted) return fail(converted.error());
            compressed = compressed || converted.value();
        }
        buildLayout(e);
    }
    if (textsPending)
        if (auto done = markLargeTextsCompressed(); !done) return fail(done.error());
    if (auto done = db_->exec("COMMIT"); !done) return fail(done.error());
    if (compressed) return shrinkFile();
    return {};
}

// Files from before large texts were compressed hold them as text. They are
// compressed in the schema's transaction: a crash on the way leaves the file
// as it was, and the next open starts over.
Result<bool> Store::compressLargeTexts(const EntityDescription& root) {
    if (root.largeTable().empty()) return false;
    bool converted = false;
    for (const auto* e : root.descendants())
        for (const auto* p : e->properties()) {
            if (p->owner != e || !p->loadsOnDemand || p->type != AttributeType::string || !p->isAttribute()) continue;
            const std::string column = quoted(p->column), table = quoted(root.largeTable());
            Statement* read = db_->prepare("SELECT id, " + column + " FROM " + table + " WHERE id > ?1 AND typeof(" +
                                           column + ") = 'text' ORDER BY id LIMIT 256");
            Statement* write = db_->prepare("UPDATE " + table + " SET " + column + " = ?2 WHERE id = ?1");
            if (!read || !write) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
            for (std::int64_t after = 0;;) {
                std::vector<std::pair<std::int64_t, std::string>> rows;
                read->bind(1, after);
                while (read->step()) rows.emplace_back(read->integer(0), read->text(1));
                const bool failed = read->failed();
                read->reset();
                if (failed) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
                if (rows.empty()) break;
                after = rows.back().first;
                for (const auto& [id, text] : rows) {
                    auto stored = CompressedText::encode(text);
                    if (!stored) continue;
                    write->bind(1, id).bind(2, std::move(*stored));
                    write->step();
                    const bool writeFailed = write->failed();
                    write->reset();
                    if (writeFailed) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
                    converted = true;
                }
            }
        }
    return converted;
}

bool Store::largeTextsCompressed() {
    Statement* read = db_->prepare("SELECT 1 FROM graph_metadata WHERE key = 'large_texts' AND value = 'deflate'");
    const bool found = read && read->step();
    if (read) read->reset();
    return found;
}

Result<void> Store::markLargeTextsCompressed() {
    return db_->exec("INSERT OR REPLACE INTO graph_metadata(key, value) VALUES('large_texts', 'deflate')");
}

// Gives the pages the compression freed back to the file system, and lets
// later removals do the same step by step. VACUUM writes a new copy of the
// file through the log, so it is as safe against a crash as any commit.
Result<void> Store::shrinkFile() {
    if (auto done = db_->exec("PRAGMA auto_vacuum = INCREMENTAL"); !done) return done;
    if (auto done = db_->exec("VACUUM"); !done) return done;
    return db_->exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

Result<void> Store::createTable(const EntityDescription& root) {
    const std::string table = quoted(root.table());
    std::string sql = "CREATE TABLE IF NOT EXISTS " + table + "(id INTEGER PRIMARY KEY AUTOINCREMENT";
    if (root.hasEntityColumn()) sql += ", entity TEXT NOT NULL";
    sql += ", graph_version INTEGER NOT NULL DEFAULT 1";
    std::vector<const PropertyDescription*> columns, large;
    for (const auto* e : root.descendants())
        for (const auto* p : e->properties())
            if (p->owner == e && p->hasColumn()) (p->loadsOnDemand ? large : columns).push_back(p);
    for (const auto* p : columns) {
        sql += ", " + columnDefinition(*p);
        if (!p->orderColumn.empty()) sql += ", " + quoted(p->orderColumn) + " INTEGER";
    }
    sql += ")";
    if (auto done = db_->exec(sql); !done) return done;

    // Columns added to the model since the file was made.
    std::set<std::string> existing;
    Statement* info = db_->prepare("SELECT name FROM pragma_table_info(?1)");
    if (!info) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
    info->bind(1, root.table());
    while (info->step()) existing.insert(info->text(0));
    if (root.hasEntityColumn() && !existing.count("entity")) {
        if (auto done = db_->exec("ALTER TABLE " + table + " ADD COLUMN entity TEXT NOT NULL DEFAULT '" + root.name() + "'"); !done)
            return done;
    }
    for (const auto* p : columns) {
        if (!existing.count(p->column))
            if (auto done = db_->exec("ALTER TABLE " + table + " ADD COLUMN " + columnDefinition(*p)); !done) return done;
        if (!p->orderColumn.empty() && !existing.count(p->orderColumn))
            if (auto done = db_->exec("ALTER TABLE " + table + " ADD COLUMN " + quoted(p->orderColumn) + " INTEGER"); !done)
                return done;
    }
    if (!large.empty())
        if (auto done = createLargeTable(root, large, existing); !done) return done;

    // Every key column is indexed: relation loads and cascades look rows up by
    // it. Only rows that have a target are listed: an emptied key (an article
    // marked read) then costs one removal instead of a move within the index,
    // and "no target", true of most rows for some keys, never looks selective
    // to the query planner.
    for (const auto* p : columns) {
        if (!p->isToOne()) continue;
        if (auto done = createKeyIndex(root, *p); !done) return done;
    }
    std::set<std::string> wanted;
    for (const auto* p : columns)
        if (p->isToOne()) wanted.insert("ix_" + root.table() + "_" + p->column);
    for (const auto* e : root.descendants()) {
        for (const auto& index : model_.indexesOf(*e)) {
            auto name = createIndex(root, *e, index);
            if (!name) return name.error();
            wanted.insert(name.value());
        }
        for (const auto* p : e->properties()) {
            if (p->owner != e || !p->isManyToMany() || !p->joinOwner) continue;
            const std::string join = quoted(p->joinTable);
            if (auto done = db_->exec("CREATE TABLE IF NOT EXISTS " + join + "(src INTEGER NOT NULL REFERENCES " +
                                      quoted(p->owner->table()) +
                                      "(id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED, dst INTEGER NOT NULL REFERENCES " +
                                      quoted(p->destination->table()) +
                                      "(id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED, PRIMARY KEY(src, dst)) WITHOUT ROWID");
                !done)
                return done;
            if (auto done = db_->exec("CREATE INDEX IF NOT EXISTS " + quoted("ix_" + p->joinTable + "_dst") + " ON " + join + "(dst)"); !done)
                return done;
        }
    }
    return dropIndexesOtherThan(root, wanted);
}

Result<std::string> Store::createIndex(const EntityDescription& root, const EntityDescription& entity,
                                       const IndexDescription& index) {
    std::string cols, name = "ix_" + root.table();
    for (const auto& property : index.properties) {
        const PropertyDescription* p = entity.property(property);
        if (!p || !p->hasColumn() || p->loadsOnDemand)
            return GraphError{GraphErrorCode::schemaFailed, "cannot index " + property};
        cols += (cols.empty() ? "" : ", ") + quoted(p->column);
        name += "_" + p->column;
    }
    std::string sql = " ON " + quoted(root.table()) + "(" + cols + ")";
    if (!index.onlyWhereSet.empty()) {
        const PropertyDescription* p = entity.property(index.onlyWhereSet);
        if (!p || !p->hasColumn() || p->loadsOnDemand)
            return GraphError{GraphErrorCode::schemaFailed, "cannot index where " + index.onlyWhereSet + " is set"};
        name += "_where_" + p->column;
        sql += " WHERE " + quoted(p->column) + " IS NOT NULL";
    }
    if (auto done = db_->exec("CREATE INDEX IF NOT EXISTS " + quoted(name) + sql); !done) return done.error();
    return name;
}

// Indexes an earlier model had and this one has not are dropped in the
// schema's transaction, so that writes stop paying for them.
Result<void> Store::dropIndexesOtherThan(const EntityDescription& root, const std::set<std::string>& wanted) {
    Statement* listed = db_->prepare("SELECT name FROM sqlite_schema WHERE type = 'index' AND tbl_name = ?1");
    if (!listed) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
    listed->bind(1, root.table());
    std::vector<std::string> stale;
    const std::string prefix = "ix_" + root.table() + "_";
    while (listed->step()) {
        std::string name = listed->text(0);
        if (name.rfind(prefix, 0) == 0 && !wanted.count(name)) stale.push_back(std::move(name));
    }
    const bool failed = listed->failed();
    listed->reset();
    if (failed) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
    for (const auto& name : stale)
        if (auto done = db_->exec("DROP INDEX " + quoted(name)); !done) return done;
    return {};
}

Result<void> Store::createKeyIndex(const EntityDescription& root, const PropertyDescription& key) {
    const std::string name = "ix_" + root.table() + "_" + key.column;
    const std::string cols = quoted(key.column) + (key.orderColumn.empty() ? "" : ", " + quoted(key.orderColumn));
    // Files made before the index left out empty keys have it whole: it is made again.
    Statement* existing = db_->prepare("SELECT sql FROM sqlite_schema WHERE type = 'index' AND name = ?1");
    if (!existing) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
    existing->bind(1, name);
    const bool found = existing->step();
    const bool partial = found && existing->text(0).find(" WHERE ") != std::string::npos;
    existing->reset();
    if (partial) return {};
    if (found)
        if (auto done = db_->exec("DROP INDEX " + quoted(name)); !done) return done;
    return db_->exec("CREATE INDEX " + quoted(name) + " ON " + quoted(root.table()) + "(" + cols + ") WHERE " +
                     quoted(key.column) + " IS NOT NULL");
}

Result<void> Store::createLargeTable(const EntityDescription& root, const std::vector<const PropertyDescription*>& columns,
                                     const std::set<std::string>& inTable) {
    const std::string table = quoted(root.largeTable());
    std::string sql = "CREATE TABLE IF NOT EXISTS " + table + "(id INTEGER PRIMARY KEY REFERENCES " + quoted(root.table()) +
                      "(id) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED";
    for (const auto* p : columns) sql += ", " + columnDefinition(*p);
    if (auto done = db_->exec(sql + ")"); !done) return done;
    std::set<std::string> existing;
    Statement* info = db_->prepare("SELECT name FROM pragma_table_info(?1)");
    if (!info) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
    info->bind(1, root.largeTable());
    while (info->step()) existing.insert(info->text(0));
    for (const auto* p : columns)
        if (!existing.count(p->column))
            if (auto done = db_->exec("ALTER TABLE " + table + " ADD COLUMN " + columnDefinition(*p)); !done) return done;

    // Files made before the large table kept these columns in the table itself: move them over.
    std::string moved, anyValue;
    for (const auto* p : columns)
        if (inTable.count(p->column)) {
            moved += ", " + quoted(p->column);
            anyValue += (anyValue.empty() ? "" : " OR ") + quoted(p->column) + " IS NOT NULL";
        }
    if (moved.empty()) return {};
    if (auto done = db_->exec("INSERT OR REPLACE INTO " + table + "(id" + moved + ") SELECT id" + moved + " FROM " +
                              quoted(root.table()) + " WHERE " + anyValue);
        !done)
        return done;
    for (const auto* p : columns)
        if (inTable.count(p->column))
            if (auto done = db_->exec("ALTER TABLE " + quoted(root.table()) + " DROP COLUMN " + quoted(p->column)); !done)
                return done;
    return {};
}

void Store::buildLayout(const EntityDescription& root) {
    for (const bool slim : {false, true}) {
        TableLayout layout;
        layout.selectList = "t0.id";
        int column = 1;
        if (root.hasEntityColumn()) {
            layout.selectList += ", t0.entity";
            layout.entityColumn = column++;
        }
        layout.selectList += ", t0.graph_version";
        layout.versionColumn = column++;
        layout.from = quoted(root.table()) + " t0";
        bool joinsLarge = false;
        for (const auto* e : root.descendants())
            for (const auto* p : e->properties())
                if (p->owner == e && p->hasColumn() && !(slim && p->loadsOnDemand)) {
                    layout.selectList += (p->loadsOnDemand ? ", l0." : ", t0.") + quoted(p->column);
                    layout.columns.push_back(p);
                    layout.position[p] = column++;
                    joinsLarge = joinsLarge || p->loadsOnDemand;
                }
        if (joinsLarge) layout.from += " LEFT JOIN " + quoted(root.largeTable()) + " l0 ON l0.id = t0.id";
        (slim ? slimLayouts_ : layouts_)[&root] = std::move(layout);
    }

    std::int64_t next = 1;
    if (Statement* seq = db_->prepare("SELECT seq FROM sqlite_sequence WHERE name = ?1")) {
        seq->bind(1, root.table());
        if (seq->step()) next = std::max(next, seq->integer(0) + 1);
        seq->reset();
    }
    if (Statement* max = db_->prepare("SELECT MAX(id) FROM " + quoted(root.table()))) {
        if (max->step()) next = std::max(next, max->integer(0) + 1);
        max->reset();
    }
    nextKey_[&root] = next;
}

Result<void> Store::loadIdentifier() {
    Statement* read = db_->prepare("SELECT value FROM graph_metadata WHERE key = 'store_uuid'");
    if (!read) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
    if (read->step()) {
        identifier_ = read->text(0);
        read->reset();
        return {};
    }
    identifier_ = makeUuid();
    Statement* write = db_->prepare("INSERT INTO graph_metadata(key, value) VALUES('store_uuid', ?1)");
    if (!write) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
    write->bind(1, identifier_);
    write->step();
    if (write->failed()) return GraphError{GraphErrorCode::schemaFailed, db_->lastError()};
    return {};
}

const EntityDescription* Store::rowEntity(const Statement& row, const EntityDescription& fetched) const {
    const TableLayout& l = layout(fetched);
    if (l.entityColumn < 0) return fetched.root();
    std::string name = row.text(l.entityColumn);
    for (const auto* e : fetched.root()->descendants())
        if (e->name() == name) return e;
    return fetched.root();
}

std::int64_t Store::reserveKeys(const EntityDescription& entity, std::int64_t count) {
    std::int64_t& next = nextKey_[entity.root()];
    std::int64_t first = next;
    next += count;
    return first;
}

bool Store::holdsReservedKeys(const EntityDescription& entity, std::int64_t count) const {
    auto next = nextKey_.find(entity.root());
    auto reserved = reservedUpTo_.find(entity.root());
    return next != nextKey_.end() && reserved != reservedUpTo_.end() && next->second + count - 1 <= reserved->second;
}

void Store::catchUpKeys(const EntityDescription& entity, std::int64_t count) {
    // Keys reserved ahead are this connection's: sqlite_sequence counts them
    // as used, and moving past them would waste them.
    if (holdsReservedKeys(entity, count)) return;
    Statement* seq = db_->prepare("SELECT seq FROM sqlite_sequence WHERE name = ?1");
    if (!seq) return;  // the insert that follows reports the error
    seq->bind(1, entity.root()->table());
    std::int64_t& next = nextKey_[entity.root()];
    if (seq->step()) next = std::max(next, seq->integer(0) + 1);
    seq->reset();
}

Result<void> Store::persistReservations(std::int64_t ahead) {
    reservingUpTo_.clear();
    for (auto& [root, next] : nextKey_) {
        // A reservation still held stays as it is: the keys after it may be
        // another connection's. Otherwise the new one starts after every key
        // handed out so far, by any connection.
        const bool holds = holdsReservedKeys(*root, 1);
        if (ahead > 0 && !holds) catchUpKeys(*root, 1);
        const std::int64_t last = holds ? reservedUpTo_[root] : next - 1 + ahead;
        Statement* update = db_->prepare("UPDATE sqlite_sequence SET seq = MAX(seq, ?2) WHERE name = ?1");
        if (!update) return GraphError{GraphErrorCode::sqliteFailed, db_->lastError()};
        update->bind(1, root->table()).bind(2, last);
        update->step();
        if (db_->changes() == 0 && last > 0) {
            Statement* insert = db_->prepare("INSERT INTO sqlite_sequence(name, seq) VALUES(?1, ?2)");
            if (!insert) return GraphError{GraphErrorCode::sqliteFailed, db_->lastError()};
            insert->bind(1, root->table()).bind(2, last);
            insert->step();
        }
        reservingUpTo_[root] = last;
    }
    return {};
}

void Store::keepReservations() {
    for (const auto& [root, last] : reservingUpTo_) reservedUpTo_[root] = std::max(reservedUpTo_[root], last);
    reservingUpTo_.clear();
}

}  // namespace tallowmere::graph
