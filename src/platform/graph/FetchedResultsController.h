#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/graph/Context.h"
#include "platform/graph/FetchRequest.h"

namespace tallowmere::graph {

class FetchedResultsController;

struct IndexPath {
    std::size_t section = 0;
    std::size_t item = 0;
    bool operator==(const IndexPath&) const = default;
};

enum class ResultsChange { insert, remove, move, update };

// Told of changes in the order a table view applies them: sections removed
// and inserted, rows removed (old coordinates, last first), rows inserted
// (new coordinates, first first), then moves and updates (both coordinates).
class FetchedResultsDelegate {
public:
    virtual ~FetchedResultsDelegate() = default;
    virtual void controllerWillChangeContent(FetchedResultsController&) {}
    virtual void controllerDidChangeSection(FetchedResultsController&, std::size_t /*index*/, ResultsChange) {}
    virtual void controllerDidChangeObject(FetchedResultsController&, const ObjectID&, std::optional<IndexPath> /*old*/,
                                           ResultsChange, std::optional<IndexPath> /*new*/) {}
    virtual void controllerDidChangeContent(FetchedResultsController&) {}
};

// A fetched list kept current: after each save or merge of its context that
// touches its entity it works out what moved. It holds IDs and sort keys only
// and loads objects a batch at a time as they are asked for. Use it on its
// context's queue.
class FetchedResultsController : public ContextObserver {
public:
    struct Section {
        std::string name;
        std::size_t offset = 0;
        std::size_t count = 0;
    };
    // Names a section for an object (a stored key path or a computed value).
    using SectionNamer = std::function<std::string(Object&)>;
    // The same name worked out from stored values (one per key path, read
    // with the rows): a whole read then needs no object loaded. The stored
    // values are stale while the context holds unsaved changes of the listed
    // entity; then the object namer serves.
    struct StoredSectionNamer {
        std::vector<std::string> keyPaths;
        std::function<std::string(const std::vector<Value>&)> name;
    };

    FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request);
    // Sections by a stored key path ("feed.sortName"), read with the sort keys.
    FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request, std::string sectionKeyPath);
    // Sections by a computed value (such as a node's group name); the objects are loaded to compute it.
    FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request, SectionNamer sectionName);
    // As above, naming the properties the namer reads (of the object or of
    // the objects it reaches): a save that changes only other properties of
    // the listed objects is then reported as updates without reading the
    // whole list again.
    FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request, SectionNamer sectionName,
                             std::vector<std::string> sectionDependencies);
    // As above, with the namer's reading of stored values.
    FetchedResultsController(std::shared_ptr<Context> context, FetchRequest request, SectionNamer sectionName,
                             std::vector<std::string> sectionDependencies, StoredSectionNamer storedSectionName);
    ~FetchedResultsController() override;
    FetchedResultsController(const FetchedResultsController&) = delete;
    FetchedResultsController& operator=(const FetchedResultsController&) = delete;

    Result<void> performFetch();
    void setDelegate(FetchedResultsDelegate* delegate) { delegate_ = delegate; }
    FetchedResultsDelegate* delegate() const { return delegate_; }
    const FetchRequest& fetchRequest() const { return request_; }
    Context& context() const { return *context_; }

    std::size_t numberOfSections() const { return sections_.size(); }
    const std::vector<Section>& sections() const { return sections_; }
    std::size_t numberOfObjects(std::size_t section) const;
    std::size_t count() const { return rows_.keys.size(); }
    ObjectPtr object(const IndexPath& path);
    ObjectID objectID(const IndexPath& path) const;
    std::optional<IndexPath> indexPath(const ObjectID& id) const;
    std::vector<ObjectID> objectIDs() const;

    void contextDidChange(const ChangeSet& changes) override;

private:
    struct Rows {
        std::vector<std::int64_t> keys;
        std::vector<const EntityDescription*> entities;
        std::vector<Value> sortValues;
        std::vector<std::string> sectionNames;
    };
    void setUp();
    Result<Rows> query(const std::vector<ObjectID>* only);
    // The names of the rows' sections by the object namer, loading the objects.
    void nameSectionsOfObjects(Rows& rows);
    // The whole list when it is sorted first by a related object's text;
    // nothing when the store has to sort it (then query() does).
    std::optional<Rows> queryByRelatedTextBlocks();
    // The text under textKey of each related object, by its key.
    std::optional<std::unordered_map<std::int64_t, Value>> relatedTexts(const PropertyDescription& hop, const std::string& textKey,
                                                                        const std::vector<Value>& keys);
    static std::vector<Section> sectionsOf(const Rows& rows, bool sectioned);
    IndexPath pathOf(const std::vector<Section>& sections, std::size_t index) const;
    std::size_t indexOf(const IndexPath& path) const;
    bool dependsOnOtherEntities(const ChangeSet& changes) const;
    bool updatesKeepOrdering(const ChangeSet& changes) const;
    bool onlyQuietUpdates(const ChangeSet& changes) const;
    void reportUpdates(const std::unordered_set<std::int64_t>& updated);
    bool isSectioned() const { return !sectionKeyPath_.empty() || sectionName_ != nullptr; }
    // Where a row whose place may have changed stood or stands: its index,
    // how many unchanged rows precede it, and its entity.
    struct Place {
        std::size_t index = 0;
        std::size_t stableBefore = 0;
        const EntityDescription* entity = nullptr;
    };
    using Places = std::unordered_map<std::int64_t, Place>;
    // Takes a whole new read of the list.
    void applyFull(Rows next, const std::unordered_set<std::int64_t>& touched, const std::unordered_set<std::int64_t>& updated);
    // Takes the re-read rows of the touched objects: the other rows keep
    // their order, so only the touched ones are placed.
    void merge(Rows next, const std::unordered_set<std::int64_t>& touched, const std::unordered_set<std::int64_t>& updated);
    // Tells the delegate how the rows at oldPlace (in oldSections) went to newPlace.
    void report(const Places& oldPlace, const Places& newPlace, const std::vector<Section>& oldSections,
                const std::unordered_set<std::int64_t>& updated);
    void setSections();

    std::shared_ptr<Context> context_;
    FetchRequest request_;
    std::string sectionKeyPath_;
    SectionNamer sectionName_;
    std::optional<StoredSectionNamer> storedSectionName_;
    // Set when the namer's dependencies are known: the names of every
    // property read by them, the sort keys or the predicate's relation hops.
    std::optional<std::unordered_set<std::string>> orderingNames_;
    // Whether one of those is a to-many relation, whose changes a change set
    // does not name.
    bool orderingReadsToMany_ = false;
    const EntityDescription* entity_ = nullptr;
    // Properties of other entities that key paths read through relations:
    // only their changes can reorder or refilter the list as a whole.
    std::unordered_set<const PropertyDescription*> hopProperties_;
    std::vector<const EntityDescription*> hopEntities_;
    bool countsRelations_ = false;
    FetchedResultsDelegate* delegate_ = nullptr;
    bool fetched_ = false;

    // The list: one key per row, its entity, sort values (stride = sort count)
    // and section names when sectioned.
    Rows rows_;
    std::vector<Section> sections_;

    // The batch of objects last handed out, kept alive for the reader.
    std::size_t windowStart_ = 0;
    std::vector<ObjectPtr> window_;
};

}  // namespace tallowmere::graph
