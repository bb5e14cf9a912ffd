#include "store/DataController.h"

#include <map>
#include <mutex>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "foundation/DispatchQueueFactory.h"
#include "foundation/Logger.h"
#include "platform/dispatch/Queue.h"
#include "platform/graph/Database.h"
#include "platform/graph/Store.h"
#include "store/DataDirectory.h"
#include "store/StoredModel.h"

namespace tallowmere {
namespace {

struct Registry {
    std::mutex openMutex;
    std::mutex mutex;
    std::shared_ptr<DataController> shared;
    std::map<const graph::Container*, std::weak_ptr<DataController>> live;
};

Registry& registry() {
    static Registry* registry = new Registry;  // outlives every static destructor
    return *registry;
}

}  // namespace

std::shared_ptr<DataController> DataController::shared() {
    auto& r = registry();
    // One opening at a time: two first uses must not open the file twice.
    std::lock_guard opening(r.openMutex);
    {
        std::lock_guard lock(r.mutex);
        if (r.shared) return r.shared;
    }
    auto opened = open(defaultStorePath());
    if (!opened) dispatch::fatalMisuse(opened.error().message);
    std::lock_guard lock(r.mutex);
    r.shared = opened.value();
    return r.shared;
}

std::filesystem::path DataController::defaultStorePath() {
    return DataDirectory::applicationDirectory() / (std::string(StoredModel::containerName) + ".sqlite");
}

graph::Result<std::shared_ptr<DataController>> DataController::open(const std::filesystem::path& storeFile) {
    auto saveQueue = makeDispatchQueue(saveQueueLabel, QualityOfService::utility);
    std::error_code error;
    std::filesystem::create_directories(storeFile.parent_path(), error);
    if (error)
        return graph::GraphError{
            graph::GraphErrorCode::openFailed,
            "cannot create " + storeFile.parent_path().string() + ": " + error.message()};
    auto container = graph::Container::open(storeFile.string(), StoredModel::description());
    if (!container) return container.error();
    auto controller =
        std::shared_ptr<DataController>(new DataController(std::move(saveQueue), container.value()));
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.live[controller->container_.get()] = controller;
    return controller;
}

void DataController::replaceShared(std::shared_ptr<DataController> controller) {
    auto& r = registry();
    std::shared_ptr<DataController> previous;
    {
        std::lock_guard lock(r.mutex);
        previous = std::exchange(r.shared, std::move(controller));
    }
    // The previous one may die here, outside the lock its destructor takes.
}

std::shared_ptr<DataController> DataController::owning(const graph::Context& context) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto found = r.live.find(&context.container());
    return found == r.live.end() ? nullptr : found->second.lock();
}

DataController::DataController(std::unique_ptr<dispatch::SerialQueue> saveQueue,
                               std::shared_ptr<graph::Container> container)
    : container_(std::move(container)), saveQueue_(std::move(saveQueue)) {
    mainContext_ = container_->mainContext();
    mainContext_->setAutomaticallyMergesChanges(true);
    mainContext_->setMergePolicy(graph::MergePolicy::storeTrumps);
    backgroundContext_ = container_->newPrivateContext(backgroundQueueLabel);
    backgroundContext_->setAutomaticallyMergesChanges(true);
    backgroundContext_->setMergePolicy(graph::MergePolicy::objectTrumps);
}

DataController::~DataController() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto found = r.live.find(container_.get());
    if (found != r.live.end() && found->second.expired()) r.live.erase(found);
}

// The store applies the delete rules of objects another context deleted
// meanwhile (a feed removed while its refresh stores articles), so a failed
// save here is a broken store.
void DataController::saveOrStop(graph::Context& context) {
    if (auto saved = context.save(); !saved) dispatch::fatalMisuse(saved.error().message);
}

// The blocks hold the contexts and the container, not the controller: a
// controller dropped while a chain runs must not end on one of its own
// queues. A context's own block holds it weakly for the same reason.
void DataController::save(std::function<void()> completion) {
    saveQueue_->async([container = container_, main = mainContext_, background = backgroundContext_,
                       completion = std::move(completion)]() mutable {
        auto saveMain = [container, main, completion]() mutable {
            main->perform([container, main, completion = std::move(completion)] {
                saveOrStop(*main);
                if (completion) completion();
            });
        };
        if (background->hasChanges()) {
            std::weak_ptr<graph::Context> weakBackground = background;
            background->perform(
                [container, weakBackground, main, saveMain = std::move(saveMain), completion]() mutable {
                    if (auto context = weakBackground.lock()) saveOrStop(*context);
                    if (main->hasChanges()) {
                        saveMain();
                    } else if (completion) {
                        completion();
                    }
                });
        } else if (main->hasChanges()) {
            saveMain();
        } else if (completion) {
            completion();
        }
    });
}

std::optional<graph::ObjectID> DataController::objectID(std::string_view uriRepresentation) const {
    return container_->objectID(uriRepresentation);
}

void DataController::removeAll(std::string_view entityName) {
    if (auto deleted = container_->batchDelete(entityName); !deleted) {
        Logger::error([&] { return "remove entities error: " + deleted.error().message; });
    }
}

}  // namespace tallowmere
