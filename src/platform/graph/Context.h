#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/dispatch/SerialQueue.h"
#include "platform/graph/ChangeSet.h"
#include "platform/graph/ExecutionGate.h"
#include "platform/graph/FetchRequest.h"
#include "platform/graph/FetchResults.h"
#include "platform/graph/GraphError.h"
#include "platform/graph/Object.h"

namespace tallowmere::graph {

class Container;
class Store;
class Statement;
struct TableLayout;

// How a save settles a property that another context changed in the store
// since this context read it.
enum class MergePolicy {
    storeTrumps,   // the store's value stays; this context takes it
    objectTrumps,  // this context's value is written
};

// Receives a context's saved and merged changes (the fetched-results controller).
class ContextObserver {
public:
    virtual ~ContextObserver() = default;
    virtual void contextDidChange(const ChangeSet& changes) = 0;
};

// A scratch pad of objects over the store, bound to one queue. Objects are
// used only inside perform/performAndWait blocks (or on the main thread for
// the main context); they cross contexts as ObjectIDs.
class Context : public std::enable_shared_from_this<Context> {
public:
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    void perform(std::function<void()> block);
    // Runs the block and returns when it has run; runs at once when already
    // inside this context. See ExecutionGate for the deadlock rule.
    void performAndWait(const std::function<void()>& block);
    dispatch::Queue& queue() const;

    MergePolicy mergePolicy() const { return mergePolicy_; }
    void setMergePolicy(MergePolicy policy) { mergePolicy_ = policy; }
    bool automaticallyMergesChanges() const { return autoMerge_; }
    void setAutomaticallyMergesChanges(bool merge) { autoMerge_ = merge; }

    // Safe from any thread (the save chain asks before entering the context).
    bool hasChanges() const { return hasChanges_.load(); }
    ObjectPtr insert(std::string_view entityName);
    void deleteObject(const ObjectPtr& object);
    Result<void> save();
    Result<void> obtainPermanentIDs(const std::vector<ObjectPtr>& objects);
    void rollback();
    // Drops the object's loaded values (and with mergeChanges false its own
    // changes) so that it reads the store again. With mergeChanges true its
    // own changes stay, a pending deletion included.
    void refresh(const ObjectPtr& object, bool mergeChanges);

    // The object for an ID, as a fault when not loaded; the store is not asked.
    ObjectPtr object(const ObjectID& id);
    // The object for an ID, loaded; an error when the store has no such row.
    Result<ObjectPtr> existingObject(const ObjectID& id);

    Result<FetchResults> fetch(const FetchRequest& request);
    Result<std::vector<ObjectID>> fetchObjectIDs(const FetchRequest& request);
    Result<std::size_t> count(const FetchRequest& request);
    // The values of the key paths, one row per fetched object.
    Result<std::vector<std::vector<Value>>> fetchValues(const FetchRequest& request, const std::vector<std::string>& keyPaths);
    // The number of stored objects matching the request for each target of a
    // to-one key (objects without one are not counted), in one query. Only
    // for a context without pending changes of the entity (else invalidRequest).
    using KeyCounts = std::vector<std::pair<ObjectID, std::size_t>>;
    Result<KeyCounts> countsByKey(const FetchRequest& request, const std::string& toOneKey);
    // The IDs of the stored objects matching the request, in its order, at
    // most `limits[k]` of those whose to-one key names k (none of the others),
    // in one query. Same rule on pending changes.
    Result<std::vector<ObjectID>> fetchObjectIDs(const FetchRequest& request, const std::string& toOneKey, const KeyCounts& limits);
    // Sets the values (attributes, or to-one keys as an ObjectID or nothing) on
    // every stored object the request matches, in one statement, as a save of
    // those changes would: the objects here read the new values, observers and
    // the other contexts are told, and the objects the changed keys pointed or
    // now point at are reported as updated (their to-many sides changed).
    // Rows whose values are already the given ones are left alone. Only for a
    // context without pending changes (else an invalidRequest error); the
    // request's sorts, limit and prefetches are ignored. The changed IDs.
    Result<std::vector<ObjectID>> updateAll(const FetchRequest& request,
                                            const std::vector<std::pair<std::string, Value>>& values);
    // The sum of the sizes of one to-many relation over the objects (@sum.x.@count).
    Result<std::int64_t> sumOfCounts(const std::vector<ObjectPtr>& objects, std::string_view toManyKey);

    std::vector<ObjectPtr> insertedObjects() const;
    std::vector<ObjectPtr> updatedObjects() const;
    std::vector<ObjectPtr> deletedObjects() const;
    Container& container() const { return *container_; }

    void addObserver(ContextObserver* observer);
    void removeObserver(ContextObserver* observer);
    // Applies what another context saved (on this context's queue).
    void mergeChanges(const ChangeSet& changes);

private:
    friend class Container;
    friend class Object;
    friend class FetchResults;
    friend class FetchedResultsController;
    // One row of a fetch: stored rows first, then the context's pending objects.
    struct Candidate {
        ObjectID id;
        std::vector<Value> keys;   // sort keys
        std::vector<Value> extra;  // requested values
        ObjectPtr object;
    };
    Context(Container* container, std::shared_ptr<Container> keepAlive, std::unique_ptr<dispatch::SerialQueue> ownQueue,
            dispatch::Queue& queue);

    // Objects.
    ObjectPtr registered(const ObjectID& id) const;
    void registerObject(const ObjectID& id, const ObjectPtr& object);
    ObjectPtr materialize(const Statement& row, const EntityDescription& fetched, const TableLayout& layout);
    void fill(Object& object, const Statement& row, const TableLayout& layout);
    void fire(Object& object);
    // Reads the attributes a slim load left in the store.
    void loadOnDemand(Object& object);
    void loadMembers(Object& object, const PropertyDescription& p);
    std::size_t countMembers(Object& object, const PropertyDescription& p);
    void markUpdated(Object& object);
    void listPending(Object& object);
    void addToInverse(const ObjectID& target, const PropertyDescription& inverse, const ObjectID& member);
    void removeFromInverse(const ObjectID& target, const PropertyDescription& inverse, const ObjectID& member);
    // Loads the faults among the objects in few queries; the objects in ID
    // order. A slim load leaves the attributes loaded on demand in the store.
    std::vector<ObjectPtr> loadBatch(const std::vector<ObjectID>& ids, const std::vector<std::string>& prefetch,
                                     bool slim = true);
    void forget(Object& object);
    void makeFault(Object& object);
    using IDSet = std::unordered_set<ObjectID, ObjectIDHash>;
    // Objects another context deleted in the store: drops them here and
    // applies their delete rules to the pending objects that point at them.
    void settleDeletedInStore(const std::vector<ObjectID>& gone);
    // Clears the object's references to gone objects; true when a gone
    // object's side cascades to it.
    bool dropReferencesTo(Object& object, const IDSet& gone);

    // Fetching.
    // Receives stored rows one by one (ID, the row, the column of the first sort key).
    using RowSink = std::function<void(const ObjectID&, const Statement&, int)>;
    Result<std::vector<Candidate>> candidates(const FetchRequest& request, bool loadRows, const std::vector<std::string>& extra,
                                              const RowSink* sink = nullptr, bool* sunk = nullptr);
    bool entityHasPendingChanges(const EntityDescription& entity) const;
    // How a localized sort by a related object's text orders by number instead.
    struct LocalizedRank {
        std::string table;      // a common table expression of ranks
        std::string join;       // joins it to the fetched rows
        std::string orderTerm;  // what to order by
    };
    std::optional<LocalizedRank> localizedRank(const EntityDescription& entity, const std::string& keyPath,
                                               std::size_t index) const;

    // Saving.
    // Keys a write for permanent IDs reserves beyond those it hands out: the
    // next thousand permanent IDs then need no write of the store each.
    static constexpr std::int64_t keysReservedAhead = 1024;
    void assignPermanentKeys(const std::vector<ObjectPtr>& objects);
    // Writes the pending objects in one transaction. When rows they point at
    // are gone from the store it writes nothing and returns those rows.
    Result<std::vector<ObjectID>> writePending(const std::vector<ObjectPtr>& work, bool checkTargets);
    // The objects the pending changes point at (or change join rows of) that
    // the store no longer has. Under the store's mutex.
    Result<std::vector<ObjectID>> missingTargets(const std::vector<ObjectPtr>& work);
    Result<void> writeInsert(Object& object);
    Result<void> writeUpdate(Object& object, bool& changedColumns);
    Result<void> writeJoins(Object& object);
    // Writes the row's attributes loaded on demand: all of them for a new row, else the changed ones.
    Result<void> writeLarge(Object& object, bool inserting);
    static Value storedForm(const Object& object, const PropertyDescription& p);
    // The stored forms of the large texts the save will write, made on
    // several threads before the store is locked: compressing them is most
    // of a save's work.
    void compressLargeTexts(const std::vector<ObjectPtr>& work);
    Value takeStoredForm(const Object& object, const PropertyDescription& p);
    static bool largeColumnChanged(const Object& object, const PropertyDescription& p);
    void readOnDemand(Object& object);
    void notifyObservers(const ChangeSet& changes);

    Container* container_;
    std::shared_ptr<Container> keepAlive_;  // private contexts keep the store open
    Store& store_;
    std::unique_ptr<dispatch::SerialQueue> ownQueue_;
    std::shared_ptr<ExecutionGate> gate_;
    MergePolicy mergePolicy_ = MergePolicy::storeTrumps;
    bool autoMerge_ = true;
    std::atomic<bool> hasChanges_{false};

    std::unordered_map<ObjectID, std::weak_ptr<Object>, ObjectIDHash> registry_;
    // Filled by compressLargeTexts for one write of the pending objects.
    std::unordered_map<const Object*, std::vector<std::pair<const PropertyDescription*, Value>>> storedForms_;
    std::size_t sweepAt_ = 1024;
    std::vector<ObjectPtr> pending_;
    std::unordered_map<ObjectID, ObjectID, ObjectIDHash> permanentFor_;
    std::vector<ContextObserver*> observers_;
    // The registry holds objects weakly; recently prefetched relation targets
    // are kept here so that a batch's prefetch is not lost at once.
    std::vector<ObjectPtr> prefetched_;
};

}  // namespace tallowmere::graph
