#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graph/ChangeSet.h"
#include "platform/graph/Context.h"
#include "platform/graph/GraphError.h"
#include "platform/graph/ModelDescription.h"

namespace tallowmere::graph {

class Store;

// One store file with its schema, a main context on the main queue and any
// number of private contexts. What one context saves is merged into the
// others on their own queues.
class Container : public std::enable_shared_from_this<Container> {
public:
    // Opens or creates the file (WAL, foreign keys on, synchronous NORMAL) and
    // creates or extends its schema from the model.
    static Result<std::shared_ptr<Container>> open(const std::string& path, const ModelDescription& model);
    ~Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    const ModelDescription& model() const { return *model_; }
    const EntityDescription* entity(std::string_view name) const { return model_->entityNamed(name); }
    const std::string& storeIdentifier() const;

    // Bound to MainQueue::shared(); merges by default with store-trumps.
    std::shared_ptr<Context> mainContext() const { return main_; }
    // A context with a serial queue of its own.
    std::shared_ptr<Context> newPrivateContext(std::string label = "graph_private_context_queue");

    // The ID an URI names, or nothing when it is malformed or of another store.
    std::optional<ObjectID> objectID(std::string_view uri) const;
    // Deletes every stored object of the entity (children included) in the
    // store alone: the contexts are not told.
    Result<void> batchDelete(std::string_view entityName);

    Store& store() const { return *store_; }

private:
    friend class Context;
    Container() = default;
    void didSave(Context& source, const ChangeSet& changes);
    std::int64_t nextTemporaryKey() { return --temporaryKey_; }

    std::unique_ptr<ModelDescription> model_;
    std::unique_ptr<Store> store_;
    std::shared_ptr<Context> main_;
    std::mutex contextsMutex_;
    std::vector<std::weak_ptr<Context>> contexts_;
    std::atomic<std::int64_t> temporaryKey_{0};
};

}  // namespace tallowmere::graph
