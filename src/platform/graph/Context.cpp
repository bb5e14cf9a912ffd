#include "platform/graph/Context.h"
#include "platform/graph/ObjectsDidChangeCenter.h"

#include <algorithm>
#include <unordered_set>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/graph/CompressedText.h"
#include "platform/graph/Container.h"
#include "platform/graph/SqlQuery.h"
#include "platform/graph/Store.h"
#include "platform/graph/TextFolding.h"

namespace tallowmere::graph {


namespace {
std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// The SQL conditions of a fetch's branches, all in one query's joins and parameters.
Result<std::vector<std::string>> whereClauses(const std::vector<Predicate>& branches, SqlQuery& query) {
    std::vector<std::string> wheres;
    for (const auto& branch : branches) {
        auto where = branch.toSql(query);
        if (!where) return where.error();
        wheres.push_back(std::move(where.value()));
    }
    return wheres;
}

std::string keyList(const std::vector<std::int64_t>& keys) {
    std::string out = "[";
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i) out += ',';
        out += std::to_string(keys[i]);
    }
    return out + "]";
}

template <typename T>
bool eraseValue(std::vector<T>& list, const T& value) {
    auto found = std::find(list.begin(), list.end(), value);
    if (found == list.end()) return false;
    list.erase(found);
    return true;
}

}  // namespace

int compareSortKeys(const Value* a, const Value* b, const std::vector<SortDescriptor>& sorts) {
    for (std::size_t i = 0; i < sorts.size(); ++i) {
        int c;
        auto* x = std::get_if<std::string>(&a[i]);
        auto* y = std::get_if<std::string>(&b[i]);
        if (sorts[i].localizedStandard && x && y) c = TextFolding::localizedCompare(*x, *y);
        else c = compareValues(a[i], b[i]);
        if (c != 0) return sorts[i].ascending ? c : -c;
    }
    return 0;
}

Context::Context(Container* container, std::shared_ptr<Container> keepAlive, std::unique_ptr<dispatch::SerialQueue> ownQueue,
                 dispatch::Queue& queue)
    : container_(container),
      keepAlive_(std::move(keepAlive)),
      store_(container->store()),
      ownQueue_(std::move(ownQueue)),
      gate_(std::make_shared<ExecutionGate>(queue)) {}

Context::~Context() {
    for (auto& [id, weak] : registry_)
        if (auto object = weak.lock()) object->context_ = nullptr;
    for (auto& object : pending_) object->context_ = nullptr;
    // The queue runs what was queued before it stops; those blocks hold no
    // strong reference to this context.
    if (ownQueue_ && ownQueue_->isCurrent()) {
        // Ended by a block of its own queue (one that held the last
        // reference): the queue's thread is still inside that block, so
        // another thread ends the queue once the block has returned.
        dispatch::SerialQueue* queue = ownQueue_.release();
        dispatch::GlobalQueue::shared(dispatch::QualityOfService::utility).async([queue] { delete queue; });
        return;
    }
    ownQueue_.reset();
}

void Context::perform(std::function<void()> block) { gate_->async(std::move(block)); }
void Context::performAndWait(const std::function<void()>& block) { gate_->sync(block); }
dispatch::Queue& Context::queue() const { return gate_->queue(); }

// ---- Objects ---------------------------------------------------------------

ObjectPtr Context::registered(const ObjectID& id) const {
    const ObjectID* key = &id;
    if (id.isTemporary()) {
        auto moved = permanentFor_.find(id);
        if (moved != permanentFor_.end()) key = &moved->second;
    }
    auto found = registry_.find(*key);
    return found == registry_.end() ? nullptr : found->second.lock();
}

ObjectPtr Context::object(const ObjectID& id) {
    // An ID of another store names nothing here.
    if (!id.isValid() || id.entity()->model() != &container_->model()) return nullptr;
    if (auto existing = registered(id)) return existing;
    if (id.isTemporary()) return nullptr;  // an unsaved object of another context
    auto created = std::make_shared<Object>(this, id.entity(), id);
    registerObject(id, created);
    return created;
}

void Context::registerObject(const ObjectID& id, const ObjectPtr& object) {
    registry_[id] = object;
    // The registry holds objects weakly; drop the dead entries now and then.
    if (registry_.size() > sweepAt_) {
        std::erase_if(registry_, [](const auto& entry) { return entry.second.expired(); });
        sweepAt_ = std::max<std::size_t>(1024, registry_.size() * 2);
    }
}

Result<ObjectPtr> Context::existingObject(const ObjectID& id) {
    if (!id.isValid() || id.entity()->model() != &container_->model())
        return GraphError{GraphErrorCode::notFound, "not an object of this store"};
    ObjectPtr found = object(id);
    if (!found) return GraphError{GraphErrorCode::notFound, "no object for " + id.uriRepresentation()};
    fire(*found);
    if (found->missing_ || found->deleted_)
        return GraphError{GraphErrorCode::notFound, "no object for " + id.uriRepresentation()};
    return found;
}

void Context::fill(Object& object, const Statement& row, const TableLayout& layout) {
    const EntityDescription* concrete = store_.rowEntity(row, *object.entity_);
    if (concrete != object.entity_ && concrete->isKindOf(object.entity_)) {
        object.entity_ = concrete;
        object.values_.resize(concrete->propertyCount());
        object.dirty_.resize(concrete->propertyCount(), false);
    }
    object.onDemandUnread_ = false;
    for (const PropertyDescription* p : object.entity_->properties()) {
        if (!p->hasColumn()) continue;
        auto at = layout.position.find(p);
        if (at == layout.position.end()) {  // left in the store by a slim load
            object.values_[p->slot] = Value{};
            object.onDemandUnread_ = true;
            continue;
        }
        int column = at->second;
        if (p->isToOne()) {
            object.values_[p->slot] = row.isNull(column) ? Value{} : Value(ObjectID(p->destination, row.integer(column)));
        } else {
            // A dictionary comes before the text compressed against it.
            object.values_[p->slot] = row.value(column, p->type, p->dictionary ? &object.values_[p->dictionary->slot] : nullptr);
        }
    }
    object.snapshot_ = object.values_;
    std::fill(object.dirty_.begin(), object.dirty_.end(), false);
    object.version_ = row.integer(layout.versionColumn);
    object.fault_ = false;
    object.missing_ = false;
}

void Context::fire(Object& object) {
    if (!object.fault_) return;
    if (object.inserted_ || object.id_.isTemporary()) {
        object.fault_ = false;
        return;
    }
    const TableLayout& layout = store_.layout(*object.entity_);
    std::lock_guard lock(store_.mutex());
    Statement* row = store_.db().prepare("SELECT " + layout.selectList + " FROM " + layout.from + " WHERE t0.id = ?1");
    if (row) {
        row->bind(1, object.id_.key());
        if (row->step()) {
            fill(object, *row, layout);
            row->reset();
            return;
        }
        row->reset();
    }
    // Deleted from the store by someone else: reads as empty.
    object.fault_ = false;
    object.missing_ = true;
}

void Context::loadOnDemand(Object& object) {
    object.onDemandUnread_ = false;
    if (object.inserted_ || object.id_.isTemporary()) return;
    std::lock_guard lock(store_.mutex());
    readOnDemand(object);
}

// Every large column is read, also those changed here: a text compressed
// against one of them needs its stored value. Under the store's mutex.
void Context::readOnDemand(Object& object) {
    object.onDemandUnread_ = false;
    std::vector<const PropertyDescription*> large;
    std::string columns;
    for (const PropertyDescription* p : object.entity_->properties())
        if (p->loadsOnDemand && p->hasColumn()) {
            large.push_back(p);
            columns += (columns.empty() ? "" : ", ") + quoted(p->column);
        }
    if (large.empty()) return;
    Statement* row = store_.db().prepare("SELECT " + columns + " FROM " + quoted(object.entity_->largeTable()) + " WHERE id = ?1");
    if (!row) return;
    row->bind(1, object.id_.key());
    if (row->step()) {
        if (object.snapshot_.size() < object.values_.size()) object.snapshot_.resize(object.values_.size());
        std::vector<Value> stored(object.values_.size());
        for (std::size_t i = 0; i < large.size(); ++i) {
            const PropertyDescription* p = large[i];
            stored[p->slot] = row->value(static_cast<int>(i), p->type, p->dictionary ? &stored[p->dictionary->slot] : nullptr);
            if (object.dirty_[p->slot]) continue;
            object.values_[p->slot] = stored[p->slot];
            object.snapshot_[p->slot] = stored[p->slot];
        }
    }
    row->reset();
}

ObjectPtr Context::materialize(const Statement& row, const EntityDescription& fetched, const TableLayout& layout) {
    const EntityDescription* concrete = store_.rowEntity(row, fetched);
    ObjectID id(concrete, row.integer(0));
    ObjectPtr object = registered(id);
    if (!object) {
        object = std::make_shared<Object>(this, concrete, id);
        registerObject(id, object);
    }
    if (object->fault_) fill(*object, row, layout);
    return object;
}

std::vector<ObjectPtr> Context::loadBatch(const std::vector<ObjectID>& ids, const std::vector<std::string>& prefetch,
                                          bool slim) {
    std::unordered_map<const EntityDescription*, std::vector<std::int64_t>> byTable;
    std::vector<ObjectPtr> result;  // also keeps the faults alive until filled
    result.reserve(ids.size());
    for (const auto& id : ids) {
        ObjectPtr object = this->object(id);
        result.push_back(object);
        if (!object || !object->fault_ || id.isTemporary()) continue;
        byTable[id.entity()->root()].push_back(id.key());
    }
    if (!byTable.empty()) {
        std::lock_guard lock(store_.mutex());
        for (const auto& [root, keys] : byTable) {
            const TableLayout& layout = slim ? store_.slimLayout(*root) : store_.layout(*root);
            Statement* rows = store_.db().prepare("SELECT " + layout.selectList + " FROM " + layout.from +
                                                  " WHERE t0.id IN (SELECT value FROM json_each(?1))");
            if (!rows) continue;
            rows->bind(1, keyList(keys));
            while (rows->step()) materialize(*rows, *root, layout);
        }
    }
    for (const auto& keyPath : prefetch) {
        std::vector<ObjectID> targets;
        for (const auto& object : result) {
            if (!object || object->fault_) continue;
            const PropertyDescription* p = object->entity_->property(keyPath);
            if (!p || !p->isToOne()) continue;
            if (auto* target = std::get_if<ObjectID>(&object->values_[p->slot])) targets.push_back(*target);
        }
        std::sort(targets.begin(), targets.end());
        targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
        // Keep the prefetched objects registered while the batch is in use.
        for (auto& object : loadBatch(targets, {}))
            if (object) prefetched_.push_back(std::move(object));
    }
    if (prefetched_.size() > 4096) prefetched_.erase(prefetched_.begin(), prefetched_.begin() + 2048);
    return result;
}

void Context::loadMembers(Object& object, const PropertyDescription& p) {
    Object::ToMany& many = object.many(p);
    if (many.loaded) return;
    std::vector<ObjectID> ids;
    if (!object.id_.isTemporary()) {
        std::string sql;
        if (p.isManyToMany()) {
            sql = std::string("SELECT ") + (p.joinOwner ? "dst" : "src") + " FROM " + quoted(p.joinTable) + " WHERE " +
                  (p.joinOwner ? "src" : "dst") + " = ?1";
        } else {
            sql = "SELECT id FROM " + quoted(p.destination->table()) + " WHERE " + quoted(p.inverse->column) + " = ?1";
            if (!p.inverse->orderColumn.empty()) sql += " ORDER BY " + quoted(p.inverse->orderColumn) + ", id";
        }
        std::lock_guard lock(store_.mutex());
        if (Statement* rows = store_.db().prepare(sql)) {
            rows->bind(1, object.id_.key());
            while (rows->step()) ids.emplace_back(p.destination, rows->integer(0));
        }
    }
    if (!many.removed.empty()) {
        std::unordered_set<ObjectID, ObjectIDHash> removed(many.removed.begin(), many.removed.end());
        std::erase_if(ids, [&](const ObjectID& id) { return removed.count(id) > 0; });
    }
    if (!many.added.empty()) {
        std::unordered_set<ObjectID, ObjectIDHash> present(ids.begin(), ids.end());
        for (const auto& id : many.added)
            if (present.insert(id).second) ids.push_back(id);
    }
    many.members = std::move(ids);
    many.loaded = true;
}

std::size_t Context::countMembers(Object& object, const PropertyDescription& p) {
    Object::ToMany& many = object.many(p);
    if (many.loaded) return many.members.size();
    if (object.id_.isTemporary()) return many.added.size();
    if (!many.added.empty() || !many.removed.empty()) {
        loadMembers(object, p);
        return many.members.size();
    }
    std::string sql = p.isManyToMany() ? "SELECT COUNT(*) FROM " + quoted(p.joinTable) + " WHERE " +
                                             (p.joinOwner ? "src" : "dst") + " = ?1"
                                       : "SELECT COUNT(*) FROM " + quoted(p.destination->table()) + " WHERE " +
                                             quoted(p.inverse->column) + " = ?1";
    std::lock_guard lock(store_.mutex());
    Statement* rows = store_.db().prepare(sql);
    if (!rows) return 0;
    rows->bind(1, object.id_.key());
    std::size_t n = rows->step() ? static_cast<std::size_t>(rows->integer(0)) : 0;
    rows->reset();
    return n;
}

void Context::listPending(Object& object) {
    if (!object.listed_) {
        object.listed_ = true;
        pending_.push_back(object.shared_from_this());
    }
    hasChanges_ = true;
}

void Context::markUpdated(Object& object) {
    if (object.deleted_) return;
    if (!object.inserted_) object.updated_ = true;
    listPending(object);
}

void Context::addToInverse(const ObjectID& target, const PropertyDescription& inverse, const ObjectID& member) {
    ObjectPtr owner = object(target);
    if (!owner || owner->deleted_) return;
    if (inverse.isToOne()) {
        owner->fire();
        Value& current = owner->values_[inverse.slot];
        auto* id = std::get_if<ObjectID>(&current);
        if (id && *id == member) return;
        current = member;
        owner->dirty_[inverse.slot] = true;
        markUpdated(*owner);
        return;
    }
    Object::ToMany& many = owner->many(inverse);
    if (many.loaded && std::find(many.members.begin(), many.members.end(), member) == many.members.end())
        many.members.push_back(member);
    if (!eraseValue(many.removed, member) && std::find(many.added.begin(), many.added.end(), member) == many.added.end())
        many.added.push_back(member);
    markUpdated(*owner);
}

void Context::removeFromInverse(const ObjectID& target, const PropertyDescription& inverse, const ObjectID& member) {
    ObjectPtr owner = object(target);
    if (!owner || owner->deleted_) return;
    if (inverse.isToOne()) {
        owner->fire();
        auto* id = std::get_if<ObjectID>(&owner->values_[inverse.slot]);
        if (!id || *id != member) return;
        owner->values_[inverse.slot] = Value{};
        owner->dirty_[inverse.slot] = true;
        markUpdated(*owner);
        return;
    }
    Object::ToMany& many = owner->many(inverse);
    if (many.loaded) eraseValue(many.members, member);
    if (!eraseValue(many.added, member) && std::find(many.removed.begin(), many.removed.end(), member) == many.removed.end())
        many.removed.push_back(member);
    markUpdated(*owner);
}

ObjectPtr Context::insert(std::string_view entityName) {
    const EntityDescription* entity = container_->entity(entityName);
    if (!entity) dispatch::fatalMisuse("unknown entity \"" + std::string(entityName) + "\"");
    ObjectID id(entity, container_->nextTemporaryKey());
    auto object = std::make_shared<Object>(this, entity, id);
    object->fault_ = false;
    object->inserted_ = true;
    for (const PropertyDescription* p : entity->properties()) {
        if (!p->isAttribute()) continue;
        if (p->type == AttributeType::integer16 || p->type == AttributeType::integer64)
            object->values_[p->slot] = std::int64_t{0};
        else if (p->type == AttributeType::boolean)
            object->values_[p->slot] = false;
    }
    registerObject(id, object);
    listPending(*object);
    return object;
}

void Context::deleteObject(const ObjectPtr& object) {
    if (!object || object->context_ != this || object->deleted_) return;
    fire(*object);
    object->deleted_ = true;
    object->updated_ = false;
    listPending(*object);
    ObjectPtr keep = object;
    for (const PropertyDescription* p : object->entity_->properties()) {
        if (p->isAttribute()) continue;
        std::vector<ObjectID> targets;
        if (p->isToOne()) {
            if (auto* id = std::get_if<ObjectID>(&object->values_[p->slot])) targets.push_back(*id);
        } else {
            loadMembers(*object, *p);
            targets = object->many(*p).members;
        }
        std::vector<ObjectPtr> loaded;
        if (p->deleteRule == DeleteRule::cascade) loaded = loadBatch(targets, {});
        for (const auto& target : targets) {
            if (p->deleteRule == DeleteRule::cascade) deleteObject(this->object(target));
            else removeFromInverse(target, *p->inverse, object->id_);
        }
    }
}

void Context::forget(Object& object) {
    registry_.erase(object.id_);
    object.listed_ = false;
}

void Context::makeFault(Object& object) {
    if (object.inserted_) return;
    object.fault_ = true;
    object.onDemandUnread_ = false;
    std::fill(object.values_.begin(), object.values_.end(), Value{});
    object.snapshot_.clear();
    std::fill(object.dirty_.begin(), object.dirty_.end(), false);
    object.many_.clear();
}

std::vector<ObjectPtr> Context::insertedObjects() const {
    std::vector<ObjectPtr> out;
    for (const auto& o : pending_)
        if (o->inserted_ && !o->deleted_) out.push_back(o);
    return out;
}
std::vector<ObjectPtr> Context::updatedObjects() const {
    std::vector<ObjectPtr> out;
    for (const auto& o : pending_)
        if (o->updated_ && !o->deleted_) out.push_back(o);
    return out;
}
std::vector<ObjectPtr> Context::deletedObjects() const {
    std::vector<ObjectPtr> out;
    for (const auto& o : pending_)
        if (o->deleted_ && !o->inserted_) out.push_back(o);
    return out;
}

// ---- Fetching --------------------------------------------------------------

bool Context::entityHasPendingChanges(const EntityDescription& entity) const {
    for (const auto& o : pending_)
        if (o->entity_->isKindOf(&entity)) return true;
    return false;
}

std::optional<Context::LocalizedRank> Context::localizedRank(const EntityDescription& entity, const std::string& keyPath,
                                                             std::size_t index) const {
    // Only a text of a related object ("feed.sortName"): its table is small
    // next to the fetched one, so its texts are ranked once in their
    // collated order and the rows sort by number. Equal texts share a rank;
    // an absent text (or object) has none, and sorts as it would by text.
    auto parts = splitKeyPath(keyPath);
    if (parts.size() != 2) return std::nullopt;
    const PropertyDescription* hop = entity.property(parts[0]);
    if (!hop || !hop->isToOne()) return std::nullopt;
    const PropertyDescription* text = hop->destination->property(parts[1]);
    if (!text || !text->isAttribute() || text->type != AttributeType::string) return std::nullopt;
    const std::string name = "rank" + std::to_string(index);
    const std::string column = quoted(text->column);
    LocalizedRank rank;
    rank.table = name + "(id, place) AS (SELECT id, CASE WHEN " + column + " IS NULL THEN NULL ELSE DENSE_RANK() OVER (ORDER BY " +
                 column + " COLLATE LOCALIZED_STANDARD) END FROM " + quoted(hop->destination->table()) + ")";
    rank.join = " LEFT JOIN " + name + " ON " + name + ".id = t0." + quoted(hop->column);
    rank.orderTerm = name + ".place";
    return rank;
}

Result<std::vector<Context::Candidate>> Context::candidates(const FetchRequest& request, bool loadRows,
                                                            const std::vector<std::string>& extra, const RowSink* sink,
                                                            bool* sunk) {
    if (sunk) *sunk = false;
    const EntityDescription* entity = container_->entity(request.entityName);
    if (!entity) return GraphError{GraphErrorCode::invalidRequest, "unknown entity " + request.entityName};
    SqlQuery query(*entity);
    auto branches = whereClauses(loadRows ? std::vector<Predicate>{request.predicate} : request.predicate.separateAlternatives(), query);
    if (!branches) return branches.error();
    const std::vector<std::string>& wheres = branches.value();
    std::vector<std::string> sortColumns, orderTerms;
    std::vector<bool> rankedTerms;
    std::string ranks, rankJoins;
    for (const auto& sort : request.sortDescriptors) {
        auto column = query.column(sort.keyPath);
        if (!column) return column.error();
        sortColumns.push_back(column.value());
        auto rank = sort.localizedStandard ? localizedRank(*entity, sort.keyPath, orderTerms.size()) : std::nullopt;
        rankedTerms.push_back(rank.has_value());
        if (rank) {
            ranks += (ranks.empty() ? "WITH " : ", ") + rank->table;
            rankJoins += rank->join;
            orderTerms.push_back(rank->orderTerm);
        } else {
            orderTerms.push_back(column.value() + (sort.localizedStandard ? " COLLATE LOCALIZED_STANDARD" : ""));
        }
    }
    std::vector<std::string> extraColumns;
    for (const auto& keyPath : extra) {
        auto column = query.column(keyPath);
        if (!column) return column.error();
        extraColumns.push_back(column.value());
    }
    const TableLayout& layout = store_.layout(*entity);
    std::string select = loadRows ? layout.selectList : std::string("t0.id") + (layout.entityColumn >= 0 ? ", t0.entity" : "");
    const int firstSort = loadRows ? 1 + static_cast<int>(layout.columns.size()) + (layout.entityColumn >= 0 ? 2 : 1)
                                   : (layout.entityColumn >= 0 ? 2 : 1);
    for (const auto& c : sortColumns) select += ", " + c;
    for (const auto& c : extraColumns) select += ", " + c;
    if (wheres.size() > 1) {
        // The branches' rows are ordered together by their result columns.
        const int columnCount = firstSort + static_cast<int>(sortColumns.size() + extraColumns.size());
        int appended = 0;
        for (std::size_t i = 0; i < orderTerms.size(); ++i) {
            if (rankedTerms[i]) {
                select += ", " + orderTerms[i];
                orderTerms[i] = std::to_string(columnCount + ++appended);
            } else {
                orderTerms[i] = std::to_string(firstSort + static_cast<int>(i) + 1) +
                                (request.sortDescriptors[i].localizedStandard ? " COLLATE LOCALIZED_STANDARD" : "");
            }
        }
    }
    const std::string from = " FROM " + (loadRows ? layout.from : quoted(entity->table()) + " t0") + query.joins() + rankJoins;
    const std::string filter = query.entityFilter();
    std::string sql = ranks + (ranks.empty() ? "" : " ");
    for (std::size_t i = 0; i < wheres.size(); ++i)
        sql += std::string(i ? " UNION ALL " : "") + "SELECT " + select + from + " WHERE " +
               (filter.empty() ? wheres[i] : filter + " AND " + wheres[i]);
    sql += " ORDER BY ";
    for (std::size_t i = 0; i < orderTerms.size(); ++i)
        sql += orderTerms[i] + (request.sortDescriptors[i].ascending ? " ASC, " : " DESC, ");
    sql += wheres.size() > 1 ? "1" : "t0.id";

    const bool pendingRelevant = entityHasPendingChanges(*entity);
    if (request.fetchLimit > 0) {
        sql += " LIMIT ";
        sql += std::to_string(request.fetchLimit + (pendingRelevant ? pending_.size() : 0));
    }

    std::vector<Candidate> found;
    if (sink && !pendingRelevant && !loadRows) {
        // Nothing of the context's own to merge: rows go straight to the caller.
        std::lock_guard lock(store_.mutex());
        Statement* rows = store_.db().prepare(sql);
        if (!rows) return GraphError{GraphErrorCode::invalidRequest, store_.db().lastError() + " in " + sql};
        rows->bindAll(query.parameters());
        const bool shared = layout.entityColumn >= 0;
        while (rows->step()) (*sink)(ObjectID(shared ? store_.rowEntity(*rows, *entity) : entity, rows->integer(0)), *rows, firstSort);
        if (rows->failed()) return GraphError{GraphErrorCode::sqliteFailed, store_.db().lastError()};
        *sunk = true;
        return found;
    }
    {
        std::lock_guard lock(store_.mutex());
        Statement* rows = store_.db().prepare(sql);
        if (!rows) return GraphError{GraphErrorCode::invalidRequest, store_.db().lastError() + " in " + sql};
        rows->bindAll(query.parameters());
        while (rows->step()) {
            Candidate c;
            c.id = ObjectID(loadRows || layout.entityColumn >= 0 ? store_.rowEntity(*rows, *entity) : entity, rows->integer(0));
            if (pendingRelevant) {
                if (auto existing = registered(c.id); existing && existing->hasChanges()) continue;
            }
            if (loadRows) c.object = materialize(*rows, *entity, layout);
            int column = firstSort;
            for (std::size_t i = 0; i < sortColumns.size(); ++i) c.keys.push_back(rows->rawValue(column++));
            for (std::size_t i = 0; i < extraColumns.size(); ++i) c.extra.push_back(rows->rawValue(column++));
            found.push_back(std::move(c));
        }
        if (rows->failed()) return GraphError{GraphErrorCode::sqliteFailed, store_.db().lastError()};
    }

    if (pendingRelevant) {
        // The context's own changes: its pending objects are judged in memory.
        std::vector<Candidate> mine;
        std::vector<ObjectPtr> snapshot = pending_;
        for (const auto& o : snapshot) {
            if (o->deleted_ || !o->entity_->isKindOf(entity)) continue;
            if (!request.predicate.evaluate(*o)) continue;
            Candidate c;
            c.id = o->id_;
            c.object = o;
            for (const auto& sort : request.sortDescriptors) c.keys.push_back(o->valueForKeyPath(sort.keyPath));
            for (const auto& keyPath : extra) c.extra.push_back(o->valueForKeyPath(keyPath));
            mine.push_back(std::move(c));
        }
        if (!mine.empty()) {
            auto less = [&](const Candidate& a, const Candidate& b) {
                int c = compareSortKeys(a.keys.data(), b.keys.data(), request.sortDescriptors);
                if (c != 0) return c < 0;
                return a.id.key() < b.id.key();
            };
            std::stable_sort(mine.begin(), mine.end(), less);
            std::vector<Candidate> merged;
            merged.reserve(found.size() + mine.size());
            std::merge(std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()),
                       std::make_move_iterator(mine.begin()), std::make_move_iterator(mine.end()), std::back_inserter(merged),
                       less);
            found = std::move(merged);
        }
    }
    if (request.fetchLimit > 0 && found.size() > request.fetchLimit) found.resize(request.fetchLimit);
    return found;
}

Result<FetchResults> Context::fetch(const FetchRequest& request) {
    const bool eager = request.batchSize == 0;
    auto found = candidates(request, eager, {});
    if (!found) return found.error();
    std::vector<ObjectID> ids;
    std::vector<ObjectPtr> objects;
    ids.reserve(found->size());
    for (auto& c : found.value()) {
        ids.push_back(c.id);
        if (eager) objects.push_back(std::move(c.object));
    }
    if (eager && !request.prefetchKeyPaths.empty()) loadBatch(ids, request.prefetchKeyPaths);
    return FetchResults(weak_from_this(), std::move(ids), std::move(objects), request.batchSize, request.prefetchKeyPaths);
}

Result<std::vector<ObjectID>> Context::fetchObjectIDs(const FetchRequest& request) {
    auto found = candidates(request, false, {});
    if (!found) return found.error();
    std::vector<ObjectID> ids;
    ids.reserve(found->size());
    for (const auto& c : found.value()) ids.push_back(c.id);
    return ids;
}

Result<std::size_t> Context::count(const FetchRequest& request) {
    const EntityDescription* entity = container_->entity(request.entityName);
    if (!entity) return GraphError{GraphErrorCode::invalidRequest, "unknown entity " + request.entityName};
    if (request.fetchLimit > 0 || entityHasPendingChanges(*entity)) {
        FetchRequest plain = request;
        plain.sortDescriptors.clear();
        auto found = candidates(plain, false, {});
        if (!found) return found.error();
        return found->size();
    }
    SqlQuery query(*entity);
    auto branches = whereClauses(request.predicate.separateAlternatives(), query);
    if (!branches) return branches.error();
    const std::vector<std::string>& wheres = branches.value();
    const std::string filter = query.entityFilter();
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < wheres.size(); ++i)
        sql += std::string(i ? " + " : "") + "(SELECT COUNT(*) FROM " + quoted(entity->table()) + " t0" + query.joins() +
               " WHERE " + (filter.empty() ? wheres[i] : filter + " AND " + wheres[i]) + ")";
    std::lock_guard lock(store_.mutex());
    Statement* rows = store_.db().prepare(sql);
    if (!rows) return GraphError{GraphErrorCode::invalidRequest, store_.db().lastError()};
    rows->bindAll(query.parameters());
    if (!rows->step()) return GraphError{GraphErrorCode::sqliteFailed, store_.db().lastError()};
    auto n = static_cast<std::size_t>(rows->integer(0));
    rows->reset();
    return n;
}

Result<std::vector<std::vector<Value>>> Context::fetchValues(const FetchRequest& request,
                                                             const std::vector<std::string>& keyPaths) {
    auto found = candidates(request, false, keyPaths);
    if (!found) return found.error();
    std::vector<std::vector<Value>> rows;
    rows.reserve(found->size());
    for (auto& c : found.value()) rows.push_back(std::move(c.extra));
    return rows;
}

namespace {
Result<const PropertyDescription*> toOneKeyOf(const EntityDescription& entity, const std::string& key) {
    const PropertyDescription* p = entity.property(key);
    if (!p || !p->isToOne()) return GraphError{GraphErrorCode::invalidRequest, key + " is not a to-one key of " + entity.name()};
    return p;
}

std::string pairList(const Context::KeyCounts& counts) {
    std::string out = "[";
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (i) out += ',';
        out += '[';
        out += std::to_string(counts[i].first.key());
        out += ',';
        out += std::to_string(counts[i].second);
        out += ']';
    }
    return out + "]";
}
}  // namespace

Result<Context::KeyCounts> Context::countsByKey(const FetchRequest& request, const std::string& toOneKey) {
    const EntityDescription* entity = container_->entity(request.entityName);
    if (!entity) return GraphError{GraphErrorCode::invalidRequest, "unknown entity " + request.entityName};
    if (entityHasPendingChanges(*entity)) return GraphError{GraphErrorCode::invalidRequest, "pending changes of " + entity->name()};
    auto key = toOneKeyOf(*entity, toOneKey);
    if (!key) return key.error();
    SqlQuery query(*entity);
    auto where = request.predicate.toSql(query);
    if (!where) return where.error();
    const std::string column = "t0." + quoted(key.value()->column);
    std::string filter = query.entityFilter();
    // The key's own terms (unary plus) must not pick the plan: grouping along
    // the key's index would read every row, where the request's terms may
    // narrow it to a few.
    std::string sql = "SELECT " + column + ", COUNT(*) FROM " + quoted(entity->table()) + " t0" + query.joins() + " WHERE " +
                      (filter.empty() ? "" : filter + " AND ") + "+" + column + " IS NOT NULL AND (" + where.value() +
                      ") GROUP BY +" + column;
    std::lock_guard lock(store_.mutex());
    Statement* rows = store_.db().prepare(sql);
    if (!rows) return GraphError{GraphErrorCode::invalidRequest, store_.db().lastError() + " in " + sql};
    rows->bindAll(query.parameters());
    KeyCounts counts;
    while (rows->step())
        counts.emplace_back(ObjectID(key.value()->destination, rows->integer(0)), static_cast<std::size_t>(rows->integer(1)));
    if (rows->failed()) return GraphError{GraphErrorCode::sqliteFailed, store_.db().lastError()};
    return counts;
}

Result<std::vector<ObjectID>> Context::fetchObjectIDs(const FetchRequest& request, const std::string& toOneKey,
                                                      const KeyCounts& limits) {
    const EntityDescription* entity = container_->entity(request.entityName);
    if (!entity) return GraphError{GraphErrorCode::invalidRequest, "unknown entity " + request.entityName};
    if (entityHasPendingChanges(*entity)) return GraphError{GraphErrorCode::invalidRequest, "pending changes of " + entity->name()};
    auto key = toOneKeyOf(*entity, toOneKey);
    if (!key) return key.error();
    std::vector<ObjectID> ids;
    if (limits.empty()) return ids;
    SqlQuery query(*entity);
    auto where = request.predicate.toSql(query);
    if (!where) return where.error();
    std::string order;
    for (const auto& sort : request.sortDescriptors) {
        auto column = query.column(sort.keyPath);
        if (!column) return column.error();
        order += column.value() + (sort.localizedStandard ? " COLLATE LOCALIZED_STANDARD" : "") +
                 (sort.ascending ? " ASC, " : " DESC, ");
    }
    order += "t0.id";
    const std::string limitsParameter = query.bind(pairList(limits));
    const std::string column = "t0." + quoted(key.value()->column);
    std::string filter = query.entityFilter();
    // Numbered within each key's rows in the request's order; the rows within
    // each key's limit are kept.
    std::string sql = "WITH limits(target, most) AS (SELECT json_extract(value, '$[0]'), json_extract(value, '$[1]') FROM json_each(" +
                      limitsParameter + ")) SELECT ranked.id FROM (SELECT t0.id AS id, " + column +
                      " AS target, ROW_NUMBER() OVER (PARTITION BY " + column + " ORDER BY " + order + ") AS place FROM " +
                      quoted(entity->table()) + " t0" + query.joins() + " WHERE " + (filter.empty() ? "" : filter + " AND ") +
                      column + " IN (SELECT target FROM limits) AND (" + where.value() +
                      ")) ranked JOIN limits ON limits.target = ranked.target WHERE ranked.place <= limits.most ORDER BY ranked.target, ranked.place";
    std::lock_guard lock(store_.mutex());
    Statement* rows = store_.db().prepare(sql);
    if (!rows) return GraphError{GraphErrorCode::invalidRequest, store_.db().lastError() + " in " + sql};
    rows->bindAll(query.parameters());
    // In a shared table the row's own entity is settled when the object is loaded.
    while (rows->step()) ids.emplace_back(entity, rows->integer(0));
    if (rows->failed()) return GraphError{GraphErrorCode::sqliteFailed, store_.db().lastError()};
    return ids;
}

Result<std::vector<ObjectID>> Context::updateAll(const FetchRequest& request,
                                                 const std::vector<std::pair<std::string, Value>>& values) {
    if (!pending_.empty()) return GraphError{GraphErrorCode::invalidRequest, "updateAll needs a context without pending changes"};
    const EntityDescription* entity = container_->entity(request.entityName);
    if (!entity) return GraphError{GraphErrorCode::invalidRequest, "unknown entity " + request.entityName};
    std::vector<const PropertyDescription*> properties;
    for (const auto& [key, value] : values) {
        const PropertyDescription* p = entity->property(key);
        if (!p || !p->hasColumn() || !p->orderColumn.empty() || p->loadsOnDemand)
            return GraphError{GraphErrorCode::invalidRequest, "cannot set " + key + " on " + entity->name()};
        properties.push_back(p);
    }
    if (properties.empty()) return std::vector<ObjectID>{};

    SqlQuery query(*entity);
    auto where = request.predicate.toSql(query);
    if (!where) return where.error();
    // Rows already holding every value stay as they are, as setting an equal value changes nothing.
    std::string sets, differs;
    for (std::size_t i = 0; i < properties.size(); ++i) {
        Value value = values[i].second;
        if (auto* id = std::get_if<ObjectID>(&value)) value = id->key();
        const std::string column = quoted(properties[i]->column);
        const std::string parameter = query.bind(std::move(value));
        sets += (sets.empty() ? "" : ", ") + column + " = " + parameter;
        differs += (differs.empty() ? "" : " OR ") + std::string("t0.") + column + " IS NOT " + parameter;
    }
    std::string filter = query.entityFilter();
    std::string selection = " FROM " + quoted(entity->table()) + " t0" + query.joins() + " WHERE " +
                            (filter.empty() ? "" : filter + " AND ") + "(" + where.value() + ") AND (" + differs + ")";
    const std::vector<Value>& parameters = query.parameters();

    std::vector<ObjectID> changedIDs;
    std::vector<ObjectID> related;  // objects whose to-many sides change
    {
        std::lock_guard lock(store_.mutex());
        Database& db = store_.db();
        if (auto done = db.beginWrite(); !done) return GraphError{GraphErrorCode::saveFailed, done.error().message};
        auto fail = [&](std::string message) -> Result<std::vector<ObjectID>> {
            db.exec("ROLLBACK");
            return GraphError{GraphErrorCode::saveFailed, std::move(message)};
        };
        std::string select = "SELECT t0.id" + std::string(entity->hasEntityColumn() ? ", t0.entity" : "");
        std::vector<const PropertyDescription*> keys;
        for (const PropertyDescription* p : properties)
            if (p->isToOne()) {
                keys.push_back(p);
                select += ", t0." + quoted(p->column);
            }
        Statement* rows = db.prepare(select + selection);
        if (!rows) return fail(db.lastError());
        rows->bindAll(parameters);
        const int firstKey = entity->hasEntityColumn() ? 2 : 1;
        std::unordered_set<ObjectID, ObjectIDHash> seen;
        auto relate = [&](const ObjectID& id) {
            if (seen.insert(id).second) related.push_back(id);
        };
        while (rows->step()) {
            changedIDs.emplace_back(entity->hasEntityColumn() ? store_.rowEntity(*rows, *entity) : entity, rows->integer(0));
            for (std::size_t k = 0; k < keys.size(); ++k)
                if (!rows->isNull(firstKey + static_cast<int>(k))) relate(ObjectID(keys[k]->destination, rows->integer(firstKey + static_cast<int>(k))));
        }
        if (rows->failed()) return fail(db.lastError());
        if (changedIDs.empty()) {
            db.exec("ROLLBACK");
            return changedIDs;
        }
        for (std::size_t i = 0; i < properties.size(); ++i)
            if (auto* id = std::get_if<ObjectID>(&values[i].second); id && properties[i]->isToOne()) relate(*id);
        Statement* update = db.prepare("UPDATE " + quoted(entity->table()) + " SET " + sets +
                                       ", graph_version = graph_version + 1 WHERE id IN (SELECT t0.id" + selection + ")");
        if (!update) return fail(db.lastError());
        update->bindAll(parameters);
        update->step();
        if (update->failed()) return fail(db.lastError());
        if (auto done = db.exec("COMMIT"); !done) return fail(done.error().message);
    }

    // This context's objects read the store again when next used.
    for (const auto& id : changedIDs)
        if (ObjectPtr object = registered(id); object && !object->fault_) makeFault(*object);
    for (const auto& id : related) {
        ObjectPtr object = registered(id);
        if (!object) continue;
        for (const PropertyDescription* p : properties)
            if (p->isToOne() && p->inverse && p->inverse->slot < object->many_.size() && object->many_[p->inverse->slot] &&
                object->entity_->isKindOf(p->inverse->owner))
                object->many_[p->inverse->slot].reset();
    }

    ChangeSet changes;
    changes.updated.reserve(changedIDs.size() + related.size());
    changes.updated = changedIDs;
    changes.changedProperties.assign(changedIDs.size(), properties);
    changes.updated.insert(changes.updated.end(), related.begin(), related.end());
    changes.changedProperties.resize(changes.updated.size());
    notifyObservers(changes);
    container_->didSave(*this, changes);
    return changedIDs;
}

Result<std::int64_t> Context::sumOfCounts(const std::vector<ObjectPtr>& objects, std::string_view toManyKey) {
    std::int64_t total = 0;
    std::vector<std::int64_t> stored;
    const PropertyDescription* p = nullptr;
    for (const auto& o : objects) {
        if (!o) continue;
        const PropertyDescription* q = o->entity_->property(toManyKey);
        if (!q || !q->isToMany()) return GraphError{GraphErrorCode::invalidRequest, "not a to-many key: " + std::string(toManyKey)};
        p = q;
        auto& many = o->many(*q);
        if (many.loaded || !many.added.empty() || !many.removed.empty() || o->id_.isTemporary())
            total += static_cast<std::int64_t>(countMembers(*o, *q));
        else
            stored.push_back(o->id_.key());
    }
    if (stored.empty() || !p) return total;
    std::string sql = p->isManyToMany()
                          ? "SELECT COUNT(*) FROM " + quoted(p->joinTable) + " WHERE " + (p->joinOwner ? "src" : "dst") +
                                " IN (SELECT value FROM json_each(?1))"
                          : "SELECT COUNT(*) FROM " + quoted(p->destination->table()) + " WHERE " +
                                quoted(p->inverse->column) + " IN (SELECT value FROM json_each(?1))";
    std::lock_guard lock(store_.mutex());
    Statement* rows = store_.db().prepare(sql);
    if (!rows) return GraphError{GraphErrorCode::sqliteFailed, store_.db().lastError()};
    rows->bind(1, keyList(stored));
    if (rows->step()) total += rows->integer(0);
    rows->reset();
    return total;
}

// ---- Saving ----------------------------------------------------------------

void Context::assignPermanentKeys(const std::vector<ObjectPtr>& objects) {
    std::unordered_map<const EntityDescription*, std::vector<ObjectPtr>> byRoot;
    for (const auto& o : objects)
        if (o->id_.isTemporary()) byRoot[o->entity_->root()].push_back(o);
    if (byRoot.empty()) return;
    std::unordered_map<ObjectID, ObjectID, ObjectIDHash> moved;
    for (auto& [root, list] : byRoot) {
        store_.catchUpKeys(*root, static_cast<std::int64_t>(list.size()));
        std::int64_t key = store_.reserveKeys(*root, static_cast<std::int64_t>(list.size()));
        for (const auto& o : list) {
            ObjectID permanent(o->entity_, key++);
            moved[o->id_] = permanent;
            permanentFor_[o->id_] = permanent;
            registry_.erase(o->id_);
            registry_[permanent] = o;
            o->id_ = permanent;
        }
    }
    auto remap = [&](ObjectID& id) {
        if (!id.isTemporary()) return;
        if (auto found = moved.find(id); found != moved.end()) id = found->second;
    };
    for (const auto& o : pending_) {
        for (auto& v : o->values_)
            if (auto* id = std::get_if<ObjectID>(&v)) remap(*id);
        for (auto& many : o->many_) {
            if (!many) continue;
            for (auto& id : many->members) remap(id);
            for (auto& id : many->added) remap(id);
            for (auto& id : many->removed) remap(id);
        }
    }
}

Result<void> Context::obtainPermanentIDs(const std::vector<ObjectPtr>& objects) {
    std::lock_guard lock(store_.mutex());
    std::unordered_map<const EntityDescription*, std::int64_t> counts;
    for (const auto& o : objects)
        if (o->id_.isTemporary()) ++counts[o->entity_->root()];
    // Keys reserved ahead before need no write.
    if (std::all_of(counts.begin(), counts.end(),
                    [&](const auto& count) { return store_.holdsReservedKeys(*count.first, count.second); })) {
        assignPermanentKeys(objects);
        return {};
    }
    Database& db = store_.db();
    // Keys are handed out inside the transaction: other connections may insert too.
    if (auto done = db.beginWrite(); !done) return done;
    assignPermanentKeys(objects);
    auto done = store_.persistReservations(keysReservedAhead);
    if (!done) {
        db.exec("ROLLBACK");
        return done;
    }
    auto committed = db.exec("COMMIT");
    if (committed) store_.keepReservations();
    return committed;
}

Result<void> Context::writeInsert(Object& object) {
    const EntityDescription& e = *object.entity_;
    std::string columns = "id", values = "?1";
    std::vector<Value> params{object.id_.key()};
    if (e.hasEntityColumn()) {
        columns += ", entity";
        params.push_back(e.name());
        values += ", ?";
        values += std::to_string(params.size());
    }
    for (const PropertyDescription* p : e.properties()) {
        if (!p->hasColumn() || p->loadsOnDemand) continue;
        params.push_back(object.values_[p->slot]);
        const std::string index = std::string("?").append(std::to_string(params.size()));
        columns += ", " + quoted(p->column);
        values += ", " + index;
        if (!p->orderColumn.empty()) {
            columns += ", " + quoted(p->orderColumn);
            values += ", (SELECT IFNULL(MAX(" + quoted(p->orderColumn) + "), 0) + 1 FROM " + quoted(e.table()) + " WHERE " +
                      quoted(p->column) + " = " + index + ")";
        }
    }
    Statement* insert = store_.db().prepare("INSERT INTO " + quoted(e.table()) + "(" + columns + ") VALUES(" + values + ")");
    if (!insert) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
    insert->bindAll(params);
    insert->step();
    if (insert->failed()) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
    object.version_ = 1;
    return writeLarge(object, true);
}

// Large texts are kept compressed; they are read only one object at a time.
Value Context::storedForm(const Object& object, const PropertyDescription& p) {
    const Value& value = object.values_[p.slot];
    const auto* text = std::get_if<std::string>(&value);
    if (!text) return value;
    const std::string* dictionary = p.dictionary ? std::get_if<std::string>(&object.values_[p.dictionary->slot]) : nullptr;
    auto compressed = CompressedText::encode(*text, dictionary ? std::string_view(*dictionary) : std::string_view());
    if (!compressed) return value;
    return std::move(*compressed);
}

void Context::compressLargeTexts(const std::vector<ObjectPtr>& work) {
    storedForms_.clear();
    struct Job {
        const Object* object;
        const PropertyDescription* property;
        Value form;
    };
    std::vector<Job> jobs;
    for (const auto& o : work) {
        if (o->deleted_ || !(o->inserted_ || o->updated_)) continue;
        // An update first reads the columns it would compress against.
        if (!o->inserted_ && o->onDemandUnread_) continue;
        for (const PropertyDescription* p : o->entity_->properties())
            if (p->hasColumn() && p->loadsOnDemand && (o->inserted_ || largeColumnChanged(*o, *p)) &&
                std::holds_alternative<std::string>(o->values_[p->slot]))
                jobs.push_back(Job{o.get(), p, {}});
    }
    // A few texts are not worth the hand-over.
    if (jobs.size() < 8) return;
    dispatch::concurrentPerform(jobs.size(), dispatch::QualityOfService::utility,
                                [&](std::size_t index) { jobs[index].form = storedForm(*jobs[index].object, *jobs[index].property); });
    for (Job& job : jobs) storedForms_[job.object].emplace_back(job.property, std::move(job.form));
}

Value Context::takeStoredForm(const Object& object, const PropertyDescription& p) {
    if (auto found = storedForms_.find(&object); found != storedForms_.end())
        for (auto& [property, form] : found->second)
            if (property == &p) return std::move(form);
    return storedForm(object, p);
}

// A text compressed against another is written again whenever that other
// one changes, and written against its current value.
bool Context::largeColumnChanged(const Object& object, const PropertyDescription& p) {
    return object.dirty_[p.slot] || (p.dictionary && object.dirty_[p.dictionary->slot]);
}

Result<void> Context::writeLarge(Object& object, bool inserting) {
    const EntityDescription& e = *object.entity_;
    std::string columns, values, updates;
    std::vector<Value> params{object.id_.key()};
    bool anyValue = false;
    if (!inserting && object.onDemandUnread_)
        for (const PropertyDescription* p : e.properties())
            if (p->dictionary && largeColumnChanged(object, *p)) {
                readOnDemand(object);
                break;
            }
    for (const PropertyDescription* p : e.properties()) {
        if (!p->hasColumn() || !p->loadsOnDemand || (!inserting && !largeColumnChanged(object, *p))) continue;
        params.push_back(takeStoredForm(object, *p));
        anyValue = anyValue || !isNull(params.back());
        const std::string index = std::string("?").append(std::to_string(params.size()));
        columns += ", " + quoted(p->column);
        values += ", " + index;
        updates += (updates.empty() ? "" : ", ") + quoted(p->column) + " = excluded." + quoted(p->column);
    }
    // A missing row reads as all empty.
    if (columns.empty() || (inserting && !anyValue)) return {};
    Statement* upsert = store_.db().prepare("INSERT INTO " + quoted(e.largeTable()) + "(id" + columns + ") VALUES(?1" +
                                            values + ") ON CONFLICT(id) DO UPDATE SET " + updates);
    if (!upsert) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
    upsert->bindAll(params);
    upsert->step();
    if (upsert->failed()) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
    return {};
}

Result<void> Context::writeUpdate(Object& object, bool& changedColumns) {
    const EntityDescription& e = *object.entity_;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string sets;
        bool largeChanged = false;
        std::vector<Value> params{object.id_.key(), object.version_};
        for (const PropertyDescription* p : e.properties()) {
            if (!p->hasColumn() || !object.dirty_[p->slot]) continue;
            if (p->loadsOnDemand) {
                largeChanged = true;
                continue;
            }
            params.push_back(object.values_[p->slot]);
            const std::string index = std::string("?").append(std::to_string(params.size()));
            sets += quoted(p->column) + " = " + index + ", ";
            if (!p->orderColumn.empty())
                sets += quoted(p->orderColumn) + " = (SELECT IFNULL(MAX(" + quoted(p->orderColumn) + "), 0) + 1 FROM " +
                        quoted(e.table()) + " WHERE " + quoted(p->column) + " = " + index + "), ";
        }
        if (sets.empty() && !largeChanged) return {};
        changedColumns = true;
        const bool checkVersion = attempt == 0 || mergePolicy_ == MergePolicy::storeTrumps;
        std::string sql = "UPDATE " + quoted(e.table()) + " SET " + sets + "graph_version = graph_version + 1 WHERE id = ?1" +
                          (checkVersion ? " AND graph_version = ?2" : " AND ?2 IS NOT NULL") + " RETURNING graph_version";
        Statement* update = store_.db().prepare(sql);
        if (!update) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
        update->bindAll(params);
        if (update->step()) {
            object.version_ = update->integer(0);
            update->reset();
            return writeLarge(object, false);
        }
        if (update->failed()) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
        update->reset();

        // Someone saved this row since it was read: settle property by property
        // (its texts are compressed again from the settled values).
        storedForms_.erase(&object);
        const TableLayout& layout = store_.layout(e);
        Statement* row = store_.db().prepare("SELECT " + layout.selectList + " FROM " + layout.from + " WHERE t0.id = ?1");
        if (!row) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
        row->bind(1, object.id_.key());
        if (!row->step()) {
            row->reset();
            return {};  // deleted in the store meanwhile: nothing to update
        }
        for (const PropertyDescription* p : e.properties()) {
            if (!p->hasColumn()) continue;
            int column = layout.position.at(p);
            const Value* dictionary = p->dictionary ? &object.snapshot_[p->dictionary->slot] : nullptr;
            Value stored = p->isToOne() ? (row->isNull(column) ? Value{} : Value(ObjectID(p->destination, row->integer(column))))
                                        : row->value(column, p->type, dictionary);
            const Value& before = p->slot < object.snapshot_.size() ? object.snapshot_[p->slot] : Value{};
            if (!object.dirty_[p->slot]) {
                object.values_[p->slot] = stored;
            } else if (mergePolicy_ == MergePolicy::storeTrumps && !valuesEqual(stored, before)) {
                object.values_[p->slot] = stored;
                object.dirty_[p->slot] = false;
            }
            if (object.snapshot_.size() <= p->slot) object.snapshot_.resize(e.propertyCount());
            object.snapshot_[p->slot] = stored;
        }
        object.onDemandUnread_ = false;
        object.version_ = row->integer(layout.versionColumn);
        row->reset();
    }
    return {};
}

Result<void> Context::writeJoins(Object& object) {
    for (const PropertyDescription* p : object.entity_->properties()) {
        if (!p->isManyToMany() || !p->joinOwner || p->slot >= object.many_.size() || !object.many_[p->slot]) continue;
        const auto& many = *object.many_[p->slot];
        for (const auto& id : many.added) {
            if (id.isTemporary()) continue;
            Statement* insert = store_.db().prepare("INSERT OR IGNORE INTO " + quoted(p->joinTable) + "(src, dst) VALUES(?1, ?2)");
            if (!insert) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
            insert->bind(1, object.id_.key()).bind(2, id.key());
            insert->step();
            if (insert->failed()) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
        }
        for (const auto& id : many.removed) {
            Statement* remove = store_.db().prepare("DELETE FROM " + quoted(p->joinTable) + " WHERE src = ?1 AND dst = ?2");
            if (!remove) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
            remove->bind(1, object.id_.key()).bind(2, id.key());
            remove->step();
            if (remove->failed()) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
        }
    }
    return {};
}

Result<std::vector<ObjectID>> Context::missingTargets(const std::vector<ObjectPtr>& work) {
    IDSet written;
    for (const auto& o : work)
        if (o->inserted_ && !o->deleted_) written.insert(o->id_);
    IDSet asked;
    std::unordered_map<const EntityDescription*, std::vector<ObjectID>> byRoot;
    auto ask = [&](const ObjectID& id) {
        if (id.isTemporary() || written.count(id) || !asked.insert(id).second) return;
        byRoot[id.entity()->root()].push_back(id);
    };
    for (const auto& o : work) {
        if (o->deleted_) continue;
        for (const PropertyDescription* p : o->entity_->properties()) {
            if (p->isToOne()) {
                if (!o->inserted_ && !o->dirty_[p->slot]) continue;
                if (auto* id = std::get_if<ObjectID>(&o->values_[p->slot])) ask(*id);
            } else if (p->isManyToMany() && p->slot < o->many_.size() && o->many_[p->slot] && !o->many_[p->slot]->added.empty()) {
                // Join rows name both ends.
                ask(o->id_);
                for (const auto& id : o->many_[p->slot]->added) ask(id);
            }
        }
    }
    std::vector<ObjectID> missing;
    for (const auto& [root, ids] : byRoot) {
        std::vector<std::int64_t> keys;
        keys.reserve(ids.size());
        for (const auto& id : ids) keys.push_back(id.key());
        Statement* rows = store_.db().prepare("SELECT j.value FROM json_each(?1) j WHERE NOT EXISTS (SELECT 1 FROM " +
                                              quoted(root->table()) + " t WHERE t.id = j.value)");
        if (!rows) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
        rows->bind(1, keyList(keys));
        std::unordered_set<std::int64_t> gone;
        while (rows->step()) gone.insert(rows->integer(0));
        if (rows->failed()) return GraphError{GraphErrorCode::saveFailed, store_.db().lastError()};
        for (const auto& id : ids)
            if (gone.count(id.key())) missing.push_back(id);
    }
    return missing;
}

Result<std::vector<ObjectID>> Context::writePending(const std::vector<ObjectPtr>& work, bool checkTargets) {
    compressLargeTexts(work);
    struct Forget {
        std::unordered_map<const Object*, std::vector<std::pair<const PropertyDescription*, Value>>>& forms;
        ~Forget() { forms.clear(); }
    } forget{storedForms_};
    std::lock_guard lock(store_.mutex());
    Database& db = store_.db();
    std::vector<ObjectPtr> inserted;
    for (const auto& o : work)
        if (o->inserted_ && !o->deleted_) inserted.push_back(o);
    // A busy store stays a busy error, so that the caller may try again.
    auto saveError = [](const GraphError& error) {
        return GraphError{error.code == GraphErrorCode::busy ? GraphErrorCode::busy : GraphErrorCode::saveFailed,
                          error.message};
    };
    if (auto done = db.beginWrite(); !done) return saveError(done.error());
    // Keys are handed out inside the transaction: other connections may insert too.
    assignPermanentKeys(inserted);
    auto fail = [&](const GraphError& error) -> Result<std::vector<ObjectID>> {
        db.exec("ROLLBACK");
        return saveError(error);
    };
    // Checked inside the transaction, so no other save can delete them
    // between the check and the writes.
    if (checkTargets) {
        auto missing = missingTargets(work);
        if (!missing) return fail(missing.error());
        if (!missing->empty()) {
            db.exec("ROLLBACK");
            return missing;
        }
    }
    for (const auto& o : inserted)
        if (auto done = writeInsert(*o); !done) return fail(done.error());
    for (const auto& o : work) {
        if (!o->updated_ || o->deleted_ || o->inserted_) continue;
        bool changed = false;
        if (auto done = writeUpdate(*o, changed); !done) return fail(done.error());
    }
    for (const auto& o : work) {
        if (o->deleted_) continue;
        if (auto done = writeJoins(*o); !done) return fail(done.error());
    }
    for (const auto& o : work) {
        if (!o->deleted_ || o->inserted_) continue;
        Statement* remove = db.prepare("DELETE FROM " + quoted(o->entity_->table()) + " WHERE id = ?1");
        if (!remove) return fail(GraphError{GraphErrorCode::saveFailed, db.lastError()});
        remove->bind(1, o->id_.key());
        remove->step();
        if (remove->failed()) return fail(GraphError{GraphErrorCode::saveFailed, db.lastError()});
    }
    if (auto done = db.exec("COMMIT"); !done) return fail(done.error());
    return std::vector<ObjectID>{};
}

Result<void> Context::save() {
    std::vector<ObjectPtr> work;
    // Another context may have deleted rows the pending objects point at; the
    // delete rules settle them as if the deletion had been merged, then the
    // save starts again. A few rounds suffice unless deletions keep coming.
    for (int round = 0;; ++round) {
        if (pending_.empty()) {
            hasChanges_ = false;
            return {};
        }
        work = pending_;
        auto missing = writePending(work, round < 4);
        if (!missing) return missing.error();
        if (missing->empty()) break;
        settleDeletedInStore(*missing);
    }

    ChangeSet changes;
    for (const auto& o : work) {
        if (o->deleted_) {
            if (!o->inserted_) changes.deleted.push_back(o->id_);
            forget(*o);
        } else if (o->inserted_) {
            changes.inserted.push_back(o->id_);
            o->inserted_ = false;
        } else if (o->updated_) {
            changes.updated.push_back(o->id_);
            auto& changed = changes.changedProperties.emplace_back();
            for (const PropertyDescription* p : o->entity_->properties())
                if (p->hasColumn() && p->slot < o->dirty_.size() && o->dirty_[p->slot]) changed.push_back(p);
        }
        o->updated_ = false;
        o->listed_ = false;
        if (!o->fault_) o->snapshot_ = o->values_;
        std::fill(o->dirty_.begin(), o->dirty_.end(), false);
        for (auto& many : o->many_) {
            if (!many) continue;
            many->added.clear();
            many->removed.clear();
        }
    }
    pending_.clear();
    hasChanges_ = false;
    notifyObservers(changes);
    if (!changes.empty()) container_->didSave(*this, changes);
    return {};
}

void Context::rollback() {
    std::vector<ObjectPtr> work;
    work.swap(pending_);
    for (const auto& o : work) {
        o->listed_ = false;
        if (o->inserted_) {
            registry_.erase(o->id_);
            o->deleted_ = true;
            continue;
        }
        o->updated_ = false;
        o->deleted_ = false;
        makeFault(*o);
    }
    hasChanges_ = false;
}

void Context::refresh(const ObjectPtr& object, bool mergeChanges) {
    if (!object || object->context_ != this || object->inserted_) return;
    // A merge keeps a pending deletion: the save removes the row whatever others changed in it.
    if (mergeChanges && object->deleted_) return;
    bool keepChanges = mergeChanges && (std::find(object->dirty_.begin(), object->dirty_.end(), true) != object->dirty_.end() ||
                                        std::any_of(object->many_.begin(), object->many_.end(), [](const auto& many) {
                                            return many && (!many->added.empty() || !many->removed.empty());
                                        }));
    if (!keepChanges) {
        if (object->listed_) {
            eraseValue(pending_, object);
            object->listed_ = false;
        }
        object->updated_ = false;
        object->deleted_ = false;
        makeFault(*object);
        hasChanges_ = !pending_.empty();
        return;
    }
    // Keep this context's changed values; take the store's for the rest.
    const TableLayout& layout = store_.layout(*object->entity_);
    std::vector<Value> dirtyValues = object->values_;
    std::vector<bool> dirty = object->dirty_;
    {
        std::lock_guard lock(store_.mutex());
        Statement* row = store_.db().prepare("SELECT " + layout.selectList + " FROM " + layout.from + " WHERE t0.id = ?1");
        if (!row) return;
        row->bind(1, object->id_.key());
        if (!row->step()) return;
        fill(*object, *row, layout);
        row->reset();
    }
    for (std::size_t i = 0; i < dirty.size(); ++i)
        if (dirty[i]) {
            object->values_[i] = dirtyValues[i];
            object->dirty_[i] = true;
        }
    for (auto& many : object->many_)
        if (many) {
            many->loaded = false;
            many->members.clear();
        }
}

void Context::addObserver(ContextObserver* observer) { observers_.push_back(observer); }
void Context::removeObserver(ContextObserver* observer) { eraseValue(observers_, observer); }

void Context::notifyObservers(const ChangeSet& changes) {
    if (changes.empty()) return;
    auto observers = observers_;
    for (auto* observer : observers)
        if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) observer->contextDidChange(changes);
    ObjectsDidChangeCenter::shared().post(changes);
}

void Context::settleDeletedInStore(const std::vector<ObjectID>& gone) {
    if (gone.empty()) return;
    for (const auto& id : gone) {
        ObjectPtr object = registered(id);
        if (!object) continue;
        // The deletion wins over this context's changes to the object.
        if (object->listed_) {
            eraseValue(pending_, object);
            object->listed_ = false;
        }
        object->deleted_ = true;
        object->updated_ = false;
        registry_.erase(object->id_);
    }
    const IDSet goneSet(gone.begin(), gone.end());
    std::vector<ObjectPtr> owned;
    for (const auto& o : std::vector<ObjectPtr>(pending_))
        if (!o->deleted_ && dropReferencesTo(*o, goneSet)) owned.push_back(o);
    for (const auto& o : owned) deleteObject(o);
    hasChanges_ = !pending_.empty();
}

bool Context::dropReferencesTo(Object& object, const IDSet& gone) {
    bool owned = false;
    auto isGone = [&](const ObjectID& id) { return gone.count(id) > 0; };
    for (const PropertyDescription* p : object.entity_->properties()) {
        if (p->isAttribute()) continue;
        bool dropped = false;
        if (p->isToOne()) {
            auto* id = std::get_if<ObjectID>(&object.values_[p->slot]);
            if (id && isGone(*id)) {
                // The gone side is not told: its inverse went with it.
                object.values_[p->slot] = Value{};
                object.dirty_[p->slot] = true;
                markUpdated(object);
                dropped = true;
            }
        } else if (p->slot < object.many_.size() && object.many_[p->slot]) {
            Object::ToMany& many = *object.many_[p->slot];
            dropped = std::erase_if(many.members, isGone) + std::erase_if(many.added, isGone) > 0;
            std::erase_if(many.removed, isGone);
        }
        if (dropped && p->inverse && p->inverse->deleteRule == DeleteRule::cascade) owned = true;
    }
    return owned;
}

void Context::mergeChanges(const ChangeSet& changes) {
    settleDeletedInStore(changes.deleted);
    for (const auto& id : changes.updated) {
        ObjectPtr object = registered(id);
        if (!object || object->fault_) continue;
        if (!object->hasChanges()) {
            makeFault(*object);
        } else {
            refresh(object, true);
        }
    }
    hasChanges_ = !pending_.empty();
    notifyObservers(changes);
}

}  // namespace tallowmere::graph
