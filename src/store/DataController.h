#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dispatch/SerialQueue.h"
#include "platform/graph/Container.h"
#include "platform/graph/Context.h"
#include "platform/graph/GraphError.h"
#include "platform/graph/ObjectID.h"

namespace tallowmere {

// Owns the local store: the container, the main context the views read, the
// one background context every background writer shares, and the serial
// queue that orders saves.
class DataController : public std::enable_shared_from_this<DataController> {
public:
    static constexpr const char* saveQueueLabel = "data_controller_save_queue";
    static constexpr const char* backgroundQueueLabel = "data_controller_background_context_queue";

    // The store of the program, opened on first use at defaultStorePath();
    // a store that cannot be opened stops the program ("Fatal error: ...").
    static std::shared_ptr<DataController> shared();
    // $XDG_DATA_HOME/Tallowmere/Tallowmere.sqlite (read at each call).
    static std::filesystem::path defaultStorePath();
    // A controller over another file (tests): creates the folder and opens
    // or creates the store; an error when that fails.
    static graph::Result<std::shared_ptr<DataController>> open(const std::filesystem::path& storeFile);
    // Puts another controller in place of the shared one (tests). Nothing
    // makes the next shared() open the default store again.
    static void replaceShared(std::shared_ptr<DataController> controller);
    // The live controller whose store the context belongs to, if any.
    static std::shared_ptr<DataController> owning(const graph::Context& context);

    ~DataController();
    DataController(const DataController&) = delete;
    DataController& operator=(const DataController&) = delete;

    // Bound to the main queue; merges saved changes; the store's values win
    // a conflict.
    const std::shared_ptr<graph::Context>& mainContext() const { return mainContext_; }
    // A private queue; merges saved changes; its own values win a conflict.
    const std::shared_ptr<graph::Context>& backgroundContext() const { return backgroundContext_; }
    graph::Container& persistentContainer() const { return *container_; }
    dispatch::SerialQueue& saveQueue() const { return *saveQueue_; }

    // Saves the background context, then the main context, each only when it
    // has changes; returns at once. The completion runs after the last save,
    // on the queue of the context saved last, or on the save queue when
    // neither had changes. A save that fails stops the program; one that
    // fails only because another context deleted what a pending object
    // points at applies the delete rules and saves again.
    void save(std::function<void()> completion = {});
    // The ID a URI names, or nothing when it names no object of this store.
    std::optional<graph::ObjectID> objectID(std::string_view uriRepresentation) const;
    // Deletes every stored object of the entity (children and cascades
    // included) in the store only: objects already loaded stay in the
    // contexts. A failure is logged ("remove entities error: ...").
    void removeAll(std::string_view entityName);
    template <typename Entity>
    void removeAll() {
        removeAll(Entity::entityName);
    }

private:
    DataController(std::unique_ptr<dispatch::SerialQueue> saveQueue,
                   std::shared_ptr<graph::Container> container);
    static void saveOrStop(graph::Context& context);

    // Destroyed in reverse order: the contexts before the container they
    // use, the save queue (which may still hold a chain step) first of all.
    std::shared_ptr<graph::Container> container_;
    std::shared_ptr<graph::Context> mainContext_;
    std::shared_ptr<graph::Context> backgroundContext_;
    std::unique_ptr<dispatch::SerialQueue> saveQueue_;
};

}  // namespace tallowmere
