#include "platform/graph/FetchedResultsController.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "platform/graph/Container.h"
#include "platform/graph/Database.h"
#include "platform/graph/SqlQuery.h"

namespace tallowmere::graph {

namespace {
std::string sectionText(const Value& value) {
    if (auto* s = std::get_if<std::string>(&value)) return *s;
    if (auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
    if (auto* b = std::get_if<bool>(&value)) return *b ? "1" : "0";
    return {};
}

// Positions (into `sequence`) of a longest strictly increasing subsequence.
std::vector<bool> longestIncreasing(const std::vector<std::size_t>& sequence) {
    std::vector<std::size_t> tails, tailIndex;
    std::vector<std::ptrdiff_t> previous(sequence.size(), -1);
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        auto at = std::lower_bound(tails.begin(), tails.end(), sequence[i]);
        std::size_t length = static_cast<std::size_t>(at - tails.begin());
        if (at == tails.end()) {
            tails.push_back(sequence[i]);
            tailIndex.push_back(i);
        } else {
            *at = sequence[i];
            tailIndex[length] = i;
        }
        previous[i] = length > 0 ? static_cast<std::ptrdiff_t>(tailIndex[length - 1]) : -1;
    }
    std::vector<bool> kept(sequence.size(), false);
    if (tailIndex.empty()) return kept;
    for (auto i = static_cast<std::ptrdiff_t>(tailIndex.back()); i >= 0; i = previous[static_cast<std::size_t>(i)])
        kept[static_cast<std::size_t>(i)] = true;
    return kept;
}
// The indexes (ascending) of the keys that are in `wanted`. Most rows are
// turned away by a bit per key's low bits before the set is asked.
std::vector<std::size_t> rowsWithKeys(const std::vector<std::int64_t>& keys, const std::unordered_set<std::int64_t>& wanted) {
    std::vector<std::size_t> rows;
    if (wanted.empty()) return rows;
    std::size_t bits = 64;
    while (bits < wanted.size() * 16 && bits < (std::size_t{1} << 22)) bits *= 2;
    const auto mask = static_cast<std::uint64_t>(bits - 1);
    std::vector<std::uint64_t> screen(bits / 64);
    for (auto key : wanted) {
        const auto bit = static_cast<std::uint64_t>(key) & mask;
        screen[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto bit = static_cast<std::uint64_t>(keys[i]) & mask;
        if ((screen[bit >> 6] >> (bit & 63) & 1) && wanted.count(keys[i])) rows.push_back(i);
    }
    return rows;
}

// Takes the rows at `leaving` (ascending) out of `values` (`width` values a
// row) and puts the rows of `incoming` at the indexes `to` (ascending, in the
// list as it ends), moving only the rows after the first change.
template <class T>
void spliceRows(std::vector<T>& values, std::size_t width, const std::vector<std::size_t>& leaving, std::vector<T>& incoming,
                const std::vector<std::size_t>& to) {
    if (width == 0) return;
    auto moveRow = [&](std::vector<T>& from, std::size_t source, std::size_t target) {
        if (&from == &values && source == target) return;
        for (std::size_t k = 0; k < width; ++k) values[target * width + k] = std::move(from[source * width + k]);
    };
    const std::size_t rows = values.size() / width;
    if (!leaving.empty()) {
        std::size_t write = leaving.front(), next = 0;
        for (std::size_t read = leaving.front(); read < rows; ++read) {
            if (next < leaving.size() && leaving[next] == read) {
                ++next;
                continue;
            }
            moveRow(values, read, write++);
        }
        values.resize(write * width);
    }
    if (to.empty()) return;
    std::size_t kept = values.size() / width, target = kept + to.size();
    values.resize(target * width);
    for (std::size_t j = to.size(); j-- > 0;) {
        // Kept rows from (to[j] - j) on come after incoming row j.
        while (kept > to[j] - j) moveRow(values, --kept, --target);
        moveRow(incoming, j, --target);
    }
}
}  // namespace

FetchedResultsController::FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request)
    : context_(std::move(context)), request_(std::move(request)) {
    setUp();
}

FetchedResultsController::FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request,
                                                   std::string sectionKeyPath)
    : context_(std::move(context)), request_(std::move(request)), sectionKeyPath_(std::move(sectionKeyPath)) {
    setUp();
}

FetchedResultsController::FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request,
                                                   SectionNamer sectionName)
    : context_(std::move(context)), request_(std::move(request)), sectionName_(std::move(sectionName)) {
    setUp();
}

FetchedResultsController::FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request,
                                                   SectionNamer sectionName, std::vector<std::string> sectionDependencies)
    : context_(std::move(context)), request_(std::move(request)), sectionName_(std::move(sectionName)) {
    setUp();
    // By name and through every hop: a sort key or section read through a
    // relation may land on an object of this same list.
    orderingNames_.emplace(std::make_move_iterator(sectionDependencies.begin()),
                           std::make_move_iterator(sectionDependencies.end()));
    std::vector<std::string> paths;
    request_.predicate.collectRelationHops(paths);
    for (const auto& sort : request_.sortDescriptors) paths.push_back(sort.keyPath);
    for (const auto& path : paths)
        for (auto& part : splitKeyPath(path)) orderingNames_->insert(std::string(part));
    if (!entity_) return;
    orderingReadsToMany_ = countsRelations_;
    for (const auto* e : entity_->descendants())
        for (const auto& name : *orderingNames_)
            if (const PropertyDescription* p = e->property(name); p && p->isToMany()) orderingReadsToMany_ = true;
}

FetchedResultsController::FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request,
                                                   SectionNamer sectionName, std::vector<std::string> sectionDependencies,
                                                   StoredSectionNamer storedSectionName)
    : FetchedResultsController(std::move(context), std::move(request), std::move(sectionName),
                               std::move(sectionDependencies)) {
    storedSectionName_ = std::move(storedSectionName);
}

void FetchedResultsController::setUp() {
    entity_ = context_->container().entity(request_.entityName);
    if (!entity_) return;
    std::vector<std::string> paths;
    request_.predicate.collectRelationHops(paths);
    for (const auto& sort : request_.sortDescriptors) paths.push_back(sort.keyPath);
    if (!sectionKeyPath_.empty()) paths.push_back(sectionKeyPath_);
    for (const auto& path : paths) {
        const EntityDescription* entity = entity_;
        bool first = true;
        for (const auto& part : splitKeyPath(path)) {
            const PropertyDescription* p = entity ? entity->property(part) : nullptr;
            if (!p) break;
            if (!first) hopProperties_.insert(p);
            if (p->isToMany()) {
                // A count changes with the other side's key.
                hopProperties_.insert(p->inverse);
                countsRelations_ = true;
            }
            first = false;
            if (p->isAttribute()) break;
            entity = p->destination;
            for (const auto* e : entity->root()->descendants())
                if (std::find(hopEntities_.begin(), hopEntities_.end(), e) == hopEntities_.end()) hopEntities_.push_back(e);
        }
    }
}

FetchedResultsController::~FetchedResultsController() {
    if (fetched_) context_->removeObserver(this);
}

std::optional<FetchedResultsController::Rows> FetchedResultsController::queryByRelatedTextBlocks() {
    // Sorted first by a text of a related object ("feed.sortName"): the store
    // would sort every row by it. Instead the rows come by the related key,
    // each key's rows already in the remaining order (from an index), and
    // the blocks are put in order by their text: few comparisons for many rows.
    const auto& sorts = request_.sortDescriptors;
    if (sorts.empty() || !sectionKeyPath_.empty() || context_->entityHasPendingChanges(*entity_)) return std::nullopt;
    const auto parts = splitKeyPath(sorts.front().keyPath);
    if (parts.size() != 2) return std::nullopt;
    const PropertyDescription* hop = entity_->property(parts[0]);
    if (!hop || !hop->isToOne()) return std::nullopt;
    const PropertyDescription* text = hop->destination->property(parts[1]);
    if (!text || !text->isAttribute() || text->type != AttributeType::string) return std::nullopt;

    FetchRequest request = request_;
    request.fetchLimit = 0;
    request.sortDescriptors.front() = SortDescriptor{hop->name, true, false};
    const std::size_t sortCount = sorts.size();
    struct Block {
        std::size_t first, count;
    };
    Rows rows;
    std::vector<Value> relatedKeys;
    std::vector<Block> blocks;
    Context::RowSink sink = [&](const ObjectID& id, const Statement& row, int column) {
        rows.keys.push_back(id.key());
        rows.entities.push_back(id.entity());
        Value key = row.rawValue(column);
        if (blocks.empty() || key != relatedKeys.back()) {
            blocks.push_back(Block{rows.keys.size() - 1, 0});
            relatedKeys.push_back(key);
        }
        ++blocks.back().count;
        // The related text takes the key's place once the texts are read.
        rows.sortValues.emplace_back();
        for (std::size_t k = 1; k < sortCount; ++k) rows.sortValues.push_back(row.rawValue(column + static_cast<int>(k)));
    };
    bool sunk = false;
    auto found = context_->candidates(request, false, {}, &sink, &sunk);
    if (!found || !sunk) return std::nullopt;
    // One read per related object rather than a join for every row.
    auto texts = relatedTexts(*hop, parts[1], relatedKeys);
    if (!texts) return std::nullopt;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const auto* key = std::get_if<std::int64_t>(&relatedKeys[b]);
        const auto text = key ? texts->find(*key) : texts->end();
        if (text == texts->end()) continue;  // no related object: no text, as a join would give
        for (std::size_t i = blocks[b].first; i < blocks[b].first + blocks[b].count; ++i) rows.sortValues[i * sortCount] = text->second;
    }

    const std::vector<SortDescriptor> first(sorts.begin(), sorts.begin() + 1);
    auto textOf = [&](const Block& block) { return &rows.sortValues[block.first * sortCount]; };
    std::stable_sort(blocks.begin(), blocks.end(),
                     [&](const Block& a, const Block& b) { return compareSortKeys(textOf(a), textOf(b), first) < 0; });
    // Equal texts of different objects interleave their rows: the store sorts those.
    for (std::size_t i = 1; i < blocks.size(); ++i)
        if (compareSortKeys(textOf(blocks[i - 1]), textOf(blocks[i]), first) == 0) return std::nullopt;

    Rows ordered;
    ordered.keys.reserve(rows.keys.size());
    ordered.entities.reserve(rows.keys.size());
    ordered.sortValues.reserve(rows.sortValues.size());
    for (const Block& block : blocks) {
        for (std::size_t i = block.first; i < block.first + block.count; ++i) {
            ordered.keys.push_back(rows.keys[i]);
            ordered.entities.push_back(rows.entities[i]);
            for (std::size_t k = 0; k < sortCount; ++k) ordered.sortValues.push_back(std::move(rows.sortValues[i * sortCount + k]));
        }
    }
    if (sectionName_) nameSectionsOfObjects(ordered);
    return ordered;
}

std::optional<std::unordered_map<std::int64_t, Value>> FetchedResultsController::relatedTexts(const PropertyDescription& hop,
                                                                            const std::string& textKey,
                                                                            const std::vector<Value>& keys) {
    // Unsaved texts would not be what the rows' order was read against.
    const EntityDescription& related = *hop.destination;
    if (context_->entityHasPendingChanges(related)) return std::nullopt;
    std::vector<Value> ids;
    ids.reserve(keys.size());
    for (const Value& key : keys)
        if (const auto* number = std::get_if<std::int64_t>(&key)) ids.emplace_back(ObjectID(&related, *number));
    std::unordered_map<std::int64_t, Value> texts;
    if (ids.empty()) return texts;
    FetchRequest request(related.name());
    request.predicate = Predicate::in("self", std::move(ids));
    auto found = context_->candidates(request, false, {textKey});
    if (!found) return std::nullopt;
    for (auto& candidate : found.value()) texts.emplace(candidate.id.key(), std::move(candidate.extra.front()));
    return texts;
}

Result<FetchedResultsController::Rows> FetchedResultsController::query(const std::vector<ObjectID>* only) {
    if (!only)
        if (auto blocks = queryByRelatedTextBlocks()) return std::move(*blocks);
    FetchRequest request = request_;
    request.fetchLimit = 0;
    if (only) {
        std::vector<Value> ids(only->begin(), only->end());
        request.predicate = request_.predicate && Predicate::in("self", std::move(ids));
    }
    std::vector<std::string> extra;
    if (!sectionKeyPath_.empty()) extra.push_back(sectionKeyPath_);
    const bool storedNames = storedSectionName_ && !context_->entityHasPendingChanges(*entity_);
    if (storedNames) extra = storedSectionName_->keyPaths;
    Rows rows;
    const std::size_t sortCount = request_.sortDescriptors.size();
    const bool keyPathSections = !sectionKeyPath_.empty();
    std::vector<Value> stored;
    auto nameFromStored = [&](std::vector<Value>& values) {
        rows.sectionNames.push_back(storedSectionName_->name(values));
        values.clear();
    };
    Context::RowSink sink = [&](const ObjectID& id, const Statement& row, int column) {
        rows.keys.push_back(id.key());
        rows.entities.push_back(id.entity());
        for (std::size_t k = 0; k < sortCount; ++k) rows.sortValues.push_back(row.rawValue(column++));
        if (keyPathSections) rows.sectionNames.push_back(sectionText(row.rawValue(column)));
        if (!storedNames) return;
        for (std::size_t k = 0; k < extra.size(); ++k) stored.push_back(row.rawValue(column++));
        nameFromStored(stored);
    };
    bool sunk = false;
    auto found = context_->candidates(request, false, extra, &sink, &sunk);
    if (!found) return found.error();
    const std::size_t n = sunk ? rows.keys.size() : found->size();
    rows.keys.reserve(n);
    rows.entities.reserve(n);
    rows.sortValues.reserve(n * request_.sortDescriptors.size());
    for (auto& c : found.value()) {  // empty when the rows went to the sink
        rows.keys.push_back(c.id.key());
        rows.entities.push_back(c.id.entity());
        for (auto& v : c.keys) rows.sortValues.push_back(std::move(v));
        if (!sectionKeyPath_.empty()) rows.sectionNames.push_back(sectionText(c.extra.front()));
        if (storedNames) nameFromStored(c.extra);
    }
    if (sectionName_ && !storedNames) nameSectionsOfObjects(rows);
    return rows;
}

void FetchedResultsController::nameSectionsOfObjects(Rows& rows) {
    std::vector<ObjectID> ids;
    ids.reserve(rows.keys.size());
    for (std::size_t i = 0; i < rows.keys.size(); ++i) ids.emplace_back(rows.entities[i], rows.keys[i]);
    auto objects = context_->loadBatch(ids, {});
    rows.sectionNames.reserve(objects.size());
    for (auto& object : objects) rows.sectionNames.push_back(object ? sectionName_(*object) : std::string());
}

std::vector<FetchedResultsController::Section> FetchedResultsController::sectionsOf(const Rows& rows, bool sectioned) {
    std::vector<Section> sections;
    if (!sectioned) {
        sections.push_back(Section{{}, 0, rows.keys.size()});
        return sections;
    }
    for (std::size_t i = 0; i < rows.keys.size(); ++i) {
        if (sections.empty() || sections.back().name != rows.sectionNames[i]) sections.push_back(Section{rows.sectionNames[i], i, 0});
        ++sections.back().count;
    }
    return sections;
}

Result<void> FetchedResultsController::performFetch() {
    if (!entity_) return GraphError{GraphErrorCode::invalidRequest, "unknown entity " + request_.entityName};
    auto rows = query(nullptr);
    if (!rows) return rows.error();
    rows_ = std::move(rows.value());
    if (request_.fetchLimit > 0 && rows_.keys.size() > request_.fetchLimit) {
        rows_.keys.resize(request_.fetchLimit);
        rows_.entities.resize(request_.fetchLimit);
        rows_.sortValues.resize(request_.fetchLimit * request_.sortDescriptors.size());
        if (!rows_.sectionNames.empty()) rows_.sectionNames.resize(request_.fetchLimit);
    }
    setSections();
    window_.clear();
    if (!fetched_) context_->addObserver(this);
    fetched_ = true;
    return {};
}

std::size_t FetchedResultsController::numberOfObjects(std::size_t section) const {
    return section < sections_.size() ? sections_[section].count : 0;
}

std::size_t FetchedResultsController::indexOf(const IndexPath& path) const {
    if (path.section >= sections_.size() || path.item >= sections_[path.section].count) return rows_.keys.size();
    return sections_[path.section].offset + path.item;
}

IndexPath FetchedResultsController::pathOf(const std::vector<Section>& sections, std::size_t index) const {
    auto after = std::upper_bound(sections.begin(), sections.end(), index,
                                  [](std::size_t i, const Section& s) { return i < s.offset; });
    std::size_t section = static_cast<std::size_t>(after - sections.begin()) - 1;
    return IndexPath{section, index - sections[section].offset};
}

ObjectID FetchedResultsController::objectID(const IndexPath& path) const {
    std::size_t index = indexOf(path);
    if (index >= rows_.keys.size()) return {};
    return ObjectID(rows_.entities[index], rows_.keys[index]);
}

ObjectPtr FetchedResultsController::object(const IndexPath& path) {
    std::size_t index = indexOf(path);
    if (index >= rows_.keys.size()) return nullptr;
    if (index >= windowStart_ && index < windowStart_ + window_.size()) return window_[index - windowStart_];
    const std::size_t batch = request_.batchSize > 0 ? request_.batchSize : 100;
    windowStart_ = index / batch * batch;
    const std::size_t end = std::min(rows_.keys.size(), windowStart_ + batch);
    std::vector<ObjectID> ids;
    ids.reserve(end - windowStart_);
    for (std::size_t i = windowStart_; i < end; ++i) ids.emplace_back(rows_.entities[i], rows_.keys[i]);
    window_ = context_->loadBatch(ids, request_.prefetchKeyPaths);
    return window_[index - windowStart_];
}

std::optional<IndexPath> FetchedResultsController::indexPath(const ObjectID& id) const {
    if (!id.isValid() || !id.entity()->isKindOf(entity_->root())) return std::nullopt;
    for (std::size_t i = 0; i < rows_.keys.size(); ++i)
        if (rows_.keys[i] == id.key()) return pathOf(sections_, i);
    return std::nullopt;
}

std::vector<ObjectID> FetchedResultsController::objectIDs() const {
    std::vector<ObjectID> ids;
    ids.reserve(rows_.keys.size());
    for (std::size_t i = 0; i < rows_.keys.size(); ++i) ids.emplace_back(rows_.entities[i], rows_.keys[i]);
    return ids;
}

bool FetchedResultsController::dependsOnOtherEntities(const ChangeSet& changes) const {
    if (hopEntities_.empty() && !sectionName_) return false;
    auto isHop = [&](const ObjectID& id) {
        return std::any_of(hopEntities_.begin(), hopEntities_.end(), [&](const EntityDescription* e) { return id.entity()->root() == e->root(); });
    };
    for (std::size_t i = 0; i < changes.updated.size(); ++i) {
        const ObjectID& id = changes.updated[i];
        if (id.entity()->isKindOf(entity_)) continue;
        if (sectionName_ && id.entity()->root() == entity_->root()) return true;
        if (!isHop(id)) continue;
        if (i >= changes.changedProperties.size()) return true;  // not known: assume the worst
        for (const PropertyDescription* p : changes.changedProperties[i])
            if (hopProperties_.count(p)) return true;
    }
    // New or removed related objects matter only to counts: the objects of
    // this list that point at them are in the change set themselves.
    if (countsRelations_) {
        for (const auto* list : {&changes.inserted, &changes.deleted})
            for (const auto& id : *list)
                if (!id.entity()->isKindOf(entity_) && isHop(id)) return true;
    }
    return false;
}

// True when no updated object of this list changed a property that sorts
// or sections it (as far as its changes are known). Then an object's section
// can change only when the object itself is new.
bool FetchedResultsController::updatesKeepOrdering(const ChangeSet& changes) const {
    if (!orderingNames_) return false;
    for (std::size_t i = 0; i < changes.updated.size(); ++i) {
        if (!changes.updated[i].entity()->isKindOf(entity_)) continue;
        if (i >= changes.changedProperties.size()) return false;  // not known: assume the worst
        // Only to-many relations changed (articles added to a feed, say).
        if (changes.changedProperties[i].empty() && orderingReadsToMany_) return false;
        for (const PropertyDescription* p : changes.changedProperties[i])
            if (orderingNames_->count(p->name)) return false;
    }
    return true;
}

// True when this list's objects were only updated, each in properties that
// neither sort nor section it.
bool FetchedResultsController::onlyQuietUpdates(const ChangeSet& changes) const {
    auto mine = [&](const ObjectID& id) { return id.entity()->isKindOf(entity_); };
    for (const auto* list : {&changes.inserted, &changes.deleted})
        if (std::any_of(list->begin(), list->end(), mine)) return false;
    return std::any_of(changes.updated.begin(), changes.updated.end(), mine) && updatesKeepOrdering(changes);
}

void FetchedResultsController::reportUpdates(const std::unordered_set<std::int64_t>& updated) {
    window_.clear();
    if (!delegate_) return;
    const std::vector<std::size_t> indexes = rowsWithKeys(rows_.keys, updated);
    if (indexes.empty()) return;
    FetchedResultsDelegate* delegate = delegate_;
    delegate->controllerWillChangeContent(*this);
    for (std::size_t i : indexes) {
        IndexPath path = pathOf(sections_, i);
        delegate->controllerDidChangeObject(*this, ObjectID(rows_.entities[i], rows_.keys[i]), path, ResultsChange::update, path);
    }
    delegate->controllerDidChangeContent(*this);
}

void FetchedResultsController::contextDidChange(const ChangeSet& changes) {
    if (!fetched_ || !entity_) return;
    const bool otherRowsKept = sectionName_ && !dependsOnOtherEntities(changes);
    const bool quiet = otherRowsKept && onlyQuietUpdates(changes);
    // Objects come and go without renaming the others' sections when the
    // namer reads no to-many relation (whose other side adds and removes):
    // only the new objects need naming. Unsaved edits in this context may
    // have resorted the others, which only a whole read sees.
    const bool sectionsKept = otherRowsKept && !orderingReadsToMany_ && updatesKeepOrdering(changes) &&
                              !context_->entityHasPendingChanges(*entity_);
    std::unordered_set<std::int64_t> touched, updated;
    std::vector<ObjectID> recheck;
    auto mine = [&](const ObjectID& id) { return id.entity()->isKindOf(entity_); };
    for (const auto& id : changes.inserted)
        if (mine(id)) {
            touched.insert(id.key());
            recheck.push_back(id);
        }
    for (const auto& id : changes.updated)
        if (mine(id)) {
            touched.insert(id.key());
            updated.insert(id.key());
            recheck.push_back(id);
        }
    for (const auto& id : changes.deleted)
        if (mine(id)) touched.insert(id.key());
    if (quiet && request_.predicate.isConstantTrue()) {
        // Nothing moves, nothing leaves: the rows stay as they are.
        reportUpdates(updated);
        return;
    }
    // A section computed from the objects may change with any of them; a key
    // path through a relation changes with the related objects: read all
    // again. Quiet updates under a filter re-read just their rows, which may
    // have left it.
    const bool full = !quiet && !sectionsKept && (dependsOnOtherEntities(changes) || (sectionName_ && !touched.empty()));
    if (!full && touched.empty()) return;
    auto next = full ? query(nullptr) : query(&recheck);
    if (!next) return;
    if (full) applyFull(std::move(next.value()), touched, updated);
    else merge(std::move(next.value()), touched, updated);
}

void FetchedResultsController::setSections() {
    if (isSectioned()) {
        sections_ = sectionsOf(rows_, true);
    } else {
        sections_.assign(1, Section{{}, 0, rows_.keys.size()});
    }
}

void FetchedResultsController::applyFull(Rows next, const std::unordered_set<std::int64_t>& touched,
                                         const std::unordered_set<std::int64_t>& updated) {
    const std::size_t stride = request_.sortDescriptors.size();
    const bool sectioned = isSectioned();
    Rows old = std::move(rows_);

    // The rows whose place may have changed.
    std::unordered_set<std::int64_t> changed = touched;
    std::unordered_map<std::int64_t, std::size_t> nextIndex;
    nextIndex.reserve(next.keys.size());
    for (std::size_t i = 0; i < next.keys.size(); ++i) nextIndex.emplace(next.keys[i], i);
    for (std::size_t i = 0; i < old.keys.size(); ++i) {
        auto found = nextIndex.find(old.keys[i]);
        if (found == nextIndex.end()) {
            changed.insert(old.keys[i]);
            continue;
        }
        std::size_t j = found->second;
        if (compareSortKeys(&old.sortValues[i * stride], &next.sortValues[j * stride], request_.sortDescriptors) != 0 ||
            (sectioned && old.sectionNames[i] != next.sectionNames[j]))
            changed.insert(old.keys[i]);
    }
    std::unordered_set<std::int64_t> oldKeys(old.keys.begin(), old.keys.end());
    for (auto key : next.keys)
        if (!oldKeys.count(key)) changed.insert(key);

    auto placesIn = [&](const Rows& rows) {
        Places places;
        std::size_t stable = 0;
        for (std::size_t i = 0; i < rows.keys.size(); ++i) {
            if (changed.count(rows.keys[i])) places[rows.keys[i]] = Place{i, stable, rows.entities[i]};
            else ++stable;
        }
        return places;
    };
    const Places oldPlace = placesIn(old);
    rows_ = std::move(next);
    const Places newPlace = placesIn(rows_);
    std::vector<Section> oldSections = std::move(sections_);
    setSections();
    window_.clear();
    report(oldPlace, newPlace, oldSections, updated);
}


void FetchedResultsController::merge(Rows next, const std::unordered_set<std::int64_t>& touched,
                                     const std::unordered_set<std::int64_t>& updated) {
    const std::size_t stride = request_.sortDescriptors.size();
    // The old rows of the touched objects leave; the re-read ones come in.
    const std::vector<std::size_t> leaving = rowsWithKeys(rows_.keys, touched);
    Places oldPlace, newPlace;
    oldPlace.reserve(leaving.size());
    for (std::size_t m = 0; m < leaving.size(); ++m)
        oldPlace[rows_.keys[leaving[m]]] = Place{leaving[m], leaving[m] - m, rows_.entities[leaving[m]]};

    // Where each re-read row goes among the old rows: a binary search per
    // row, so a small save costs few comparisons however long the list.
    auto oldBefore = [&](std::size_t i, std::size_t j) {
        int c = compareSortKeys(&rows_.sortValues[i * stride], &next.sortValues[j * stride], request_.sortDescriptors);
        return c < 0 || (c == 0 && rows_.keys[i] < next.keys[j]);
    };
    std::vector<std::size_t> to(next.keys.size());
    newPlace.reserve(next.keys.size());
    std::size_t low = 0;
    for (std::size_t j = 0; j < next.keys.size(); ++j) {
        std::size_t count = rows_.keys.size() - low, first = low;
        while (count > 0) {
            std::size_t step = count / 2, middle = first + step;
            if (oldBefore(middle, j)) {
                first = middle + 1;
                count -= step + 1;
            } else {
                count = step;
            }
        }
        low = first;
        // Unchanged rows before it, then the re-read rows before it.
        const auto leftBefore = static_cast<std::size_t>(std::lower_bound(leaving.begin(), leaving.end(), first) - leaving.begin());
        const std::size_t stableBefore = first - leftBefore;
        to[j] = stableBefore + j;
        newPlace[next.keys[j]] = Place{to[j], stableBefore, next.entities[j]};
    }

    spliceRows(rows_.keys, 1, leaving, next.keys, to);
    spliceRows(rows_.entities, 1, leaving, next.entities, to);
    spliceRows(rows_.sortValues, stride, leaving, next.sortValues, to);
    if (isSectioned()) spliceRows(rows_.sectionNames, 1, leaving, next.sectionNames, to);
    std::vector<Section> oldSections = std::move(sections_);
    setSections();
    window_.clear();
    report(oldPlace, newPlace, oldSections, updated);
}

void FetchedResultsController::report(const Places& oldPlace, const Places& newPlace, const std::vector<Section>& oldSections,
                                      const std::unordered_set<std::int64_t>& updated) {
    const bool sectioned = isSectioned();
    // Rows in both lists that changed: moved when unchanged rows now stand on
    // another side of them, or their order among themselves changed.
    std::vector<std::pair<std::int64_t, const Place*>> kept;
    for (const auto& [key, place] : newPlace)
        if (oldPlace.count(key)) kept.emplace_back(key, &place);
    std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.second->index < b.second->index; });
    std::vector<std::size_t> oldOrder;
    oldOrder.reserve(kept.size());
    for (const auto& entry : kept) oldOrder.push_back(oldPlace.at(entry.first).index);
    std::vector<bool> inOrder = longestIncreasing(oldOrder);

    struct Change {
        std::int64_t key;
        const EntityDescription* entity;
        std::optional<IndexPath> from, to;
        ResultsChange type;
    };
    std::vector<Change> removals, insertions, moves, updates;
    for (const auto& [key, place] : oldPlace)
        if (!newPlace.count(key)) removals.push_back({key, place.entity, pathOf(oldSections, place.index), std::nullopt, ResultsChange::remove});
    for (const auto& [key, place] : newPlace)
        if (!oldPlace.count(key)) insertions.push_back({key, place.entity, std::nullopt, pathOf(sections_, place.index), ResultsChange::insert});
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const auto key = kept[k].first;
        const Place& before = oldPlace.at(key);
        const Place& after = *kept[k].second;
        const bool sectionChanged = sectioned && (oldSections[pathOf(oldSections, before.index).section].name !=
                                                  sections_[pathOf(sections_, after.index).section].name);
        const bool moved = !inOrder[k] || before.stableBefore != after.stableBefore || sectionChanged;
        Change change{key, after.entity, pathOf(oldSections, before.index), pathOf(sections_, after.index),
                      moved ? ResultsChange::move : ResultsChange::update};
        if (moved) moves.push_back(change);
        else if (updated.count(key)) updates.push_back(change);
    }
    std::vector<std::pair<std::size_t, ResultsChange>> sectionChanges;
    if (sectioned) {
        std::unordered_set<std::string> oldNames, newNames;
        for (const auto& s : oldSections) oldNames.insert(s.name);
        for (const auto& s : sections_) newNames.insert(s.name);
        for (std::size_t s = oldSections.size(); s-- > 0;)
            if (!newNames.count(oldSections[s].name)) sectionChanges.emplace_back(s, ResultsChange::remove);
        for (std::size_t s = 0; s < sections_.size(); ++s)
            if (!oldNames.count(sections_[s].name)) sectionChanges.emplace_back(s, ResultsChange::insert);
    }
    if (removals.empty() && insertions.empty() && moves.empty() && updates.empty() && sectionChanges.empty()) return;
    if (!delegate_) return;

    auto byOld = [](const Change& a, const Change& b) {
        return a.from->section != b.from->section ? a.from->section > b.from->section : a.from->item > b.from->item;
    };
    auto byNew = [](const Change& a, const Change& b) {
        return a.to->section != b.to->section ? a.to->section < b.to->section : a.to->item < b.to->item;
    };
    std::sort(removals.begin(), removals.end(), byOld);
    std::sort(insertions.begin(), insertions.end(), byNew);
    std::sort(moves.begin(), moves.end(), byNew);
    std::sort(updates.begin(), updates.end(), byNew);

    FetchedResultsDelegate* delegate = delegate_;
    delegate->controllerWillChangeContent(*this);
    for (const auto& [index, type] : sectionChanges) delegate->controllerDidChangeSection(*this, index, type);
    for (const auto* list : {&removals, &insertions, &moves, &updates})
        for (const auto& c : *list) delegate->controllerDidChangeObject(*this, ObjectID(c.entity, c.key), c.from, c.type, c.to);
    delegate->controllerDidChangeContent(*this);
}

}  // namespace tallowmere::graph
