#include "store/DataController.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "foundation/DispatchQueueFactory.h"
#include "foundation/Logger.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/graph/Database.h"
#include "platform/graph/Store.h"
#include "store/DataDirectory.h"
#include "store/DataFolderLock.h"
#include "store/Feed.h"
#include "store/StoredModel.h"

namespace tallowmere {
namespace {

struct Registry {
    std::mutex openMutex;
    std::mutex mutex;
    std::shared_ptr<DataController> shared;
    std::map<const graph::Container*, std::weak_ptr<DataController>> live;
    // The data folders this process has claimed; kept until it ends.
    std::map<std::filesystem::path, std::unique_ptr<DataFolderLock>> folderLocks;
};

Registry& registry() {
    static Registry* registry = new Registry;  // outlives every static destructor
    return *registry;
}

// Feeds stored before the folded URL was kept, or written by a connection
// that does not keep it (plain SQLite), get it here, folded by the same
// function as the text comparisons of lookups.
graph::Result<void> fillFoldedFeedURLs(graph::Container& container) {
    const graph::EntityDescription* feed = container.entity(Feed::entityName);
    const std::string url = "\"" + feed->property(Feed::Key::url)->column + "\"";
    const std::string folded = "\"" + feed->property(Feed::Key::foldedURL)->column + "\"";
    std::lock_guard lock(container.store().mutex());
    return container.store().db().exec("UPDATE \"" + feed->table() + "\" SET " + folded + " = cd_fold(" + url +
                                       ") WHERE " + folded + " IS NULL AND " + url + " IS NOT NULL");
}

}  // namespace

std::shared_ptr<DataController> DataController::shared() {
    if (auto failure = openShared()) {
        if (failure->kind == DataControllerError::Kind::anotherCopyRunning) {
            std::fprintf(stderr, "Tallowmere is already running: %s\n", failure->message.c_str());
            std::fflush(stderr);
            // Nothing of the store was touched, and other threads may still
            // run: leave without the static destructors.
            std::_Exit(anotherCopyExitStatus);
        }
        dispatch::fatalMisuse(failure->message);
    }
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.shared;
}

std::optional<DataControllerError> DataController::openShared() {
    auto& r = registry();
    // One opening at a time: two first uses must not open the file twice.
    std::lock_guard opening(r.openMutex);
    {
        std::lock_guard lock(r.mutex);
        if (r.shared) return std::nullopt;
    }
    const std::filesystem::path folder = DataDirectory::applicationDirectory();
    if (!r.folderLocks.count(folder)) {
        auto claimed = DataFolderLock::acquire(folder);
        if (auto* failure = std::get_if<DataFolderLockFailure>(&claimed)) {
            return DataControllerError{failure->heldByAnotherCopy ? DataControllerError::Kind::anotherCopyRunning
                                                                   : DataControllerError::Kind::storeUnavailable,
                                       failure->message};
        }
        r.folderLocks.emplace(folder, std::move(std::get<std::unique_ptr<DataFolderLock>>(claimed)));
    }
    // The window waits for the open; the full check would read the whole
    // file first (seconds on a large store when it is not cached).
    auto opened = open(defaultStorePath(), FullStoreCheck::afterOpen);
    if (!opened) return DataControllerError{DataControllerError::Kind::storeUnavailable, opened.error().message};
    std::lock_guard lock(r.mutex);
    r.shared = opened.value();
    return std::nullopt;
}

std::filesystem::path DataController::defaultStorePath() {
    return DataDirectory::applicationDirectory() / (std::string(StoredModel::containerName) + ".sqlite");
}

std::filesystem::path DataController::checkDueMarker(const std::filesystem::path& storeFile) {
    return storeFile.string() + ".check-due";
}

graph::Result<std::shared_ptr<DataController>> DataController::open(const std::filesystem::path& storeFile,
                                                                    FullStoreCheck fullCheck) {
    auto saveQueue = makeDispatchQueue(saveQueueLabel, QualityOfService::utility);
    std::error_code error;
    std::filesystem::create_directories(storeFile.parent_path(), error);
    if (error)
        return graph::GraphError{
            graph::GraphErrorCode::openFailed,
            "cannot create " + storeFile.parent_path().string() + ": " + error.message()};
    const bool checkDue = std::filesystem::exists(checkDueMarker(storeFile), error);
    const bool checkNow = fullCheck == FullStoreCheck::atOpen || checkDue;
    auto recovery =
        recoverIfDamaged(storeFile, checkNow ? graph::StoreCheck::Depth::full : graph::StoreCheck::Depth::schema);
    if (!recovery) return recovery.error();
    // Only once the store was checked (and recovered when damaged).
    if (checkDue) std::filesystem::remove(checkDueMarker(storeFile), error);
    auto container = graph::Container::open(storeFile.string(), StoredModel::description());
    if (!container) return container.error();
    // Without it a feed is still found by its identity hash.
    if (auto filled = fillFoldedFeedURLs(*container.value()); !filled)
        Logger::error([&] { return "cannot fill in the feeds' folded URLs: " + filled.error().message; });
    auto controller =
        std::shared_ptr<DataController>(new DataController(std::move(saveQueue), container.value()));
    controller->recovery_ = std::move(recovery.value());
    controller->storeFile_ = storeFile;
    controller->fullCheckOwed_ = !checkNow;
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.live[controller->container_.get()] = controller;
    return controller;
}

void DataController::checkStoreInBackground(std::function<void(bool damaged)> completion) {
    {
        std::lock_guard lock(stateMutex_);
        if (!std::exchange(fullCheckOwed_, false)) {
            if (completion) completion(false);
            return;
        }
    }
    dispatch::GlobalQueue::shared(QualityOfService::background)
        .async([storeFile = storeFile_, completion = std::move(completion)] {
            const graph::StoreCheck check = graph::StoreRecovery::check(storeFile.string());
            const bool damaged = check.state == graph::StoreCheck::State::damaged;
            if (damaged) {
                Logger::error([&] {
                    return "store " + storeFile.string() + " is damaged (" + check.detail +
                           "); it is recovered at the next start";
                });
                std::FILE* marker = std::fopen(checkDueMarker(storeFile).c_str(), "w");
                if (marker) std::fclose(marker);
            }
            if (completion) completion(damaged);
        });
}

// The full check reads every page once; see bench/ for its cost on a large store.
graph::Result<std::optional<graph::StoreRecoveryReport>> DataController::recoverIfDamaged(
    const std::filesystem::path& storeFile, graph::StoreCheck::Depth depth) {
    const graph::StoreCheck check = graph::StoreRecovery::check(storeFile.string(), depth);
    if (check.state != graph::StoreCheck::State::damaged) return std::optional<graph::StoreRecoveryReport>();
    Logger::error([&] { return "store " + storeFile.string() + " is damaged (" + check.detail + "), recovering it"; });
    auto recovered = graph::StoreRecovery::recover(storeFile.string(), StoredModel::description(), check.detail);
    if (!recovered)
        return graph::GraphError{graph::GraphErrorCode::openFailed,
                                 "cannot recover the damaged store " + storeFile.string() + ": " +
                                     recovered.error().message};
    Logger::error([&] {
        std::string carried;
        for (const auto& [table, rows] : recovered->rowsCarriedOver)
            carried += (carried.empty() ? "" : ", ") + table + " " + std::to_string(rows);
        return "damaged store kept as " + recovered->movedAsideTo + "; a fresh store holds what could be read (" +
               carried + ")";
    });
    return std::optional<graph::StoreRecoveryReport>(std::move(recovered.value()));
}

std::optional<graph::StoreRecoveryReport> DataController::storeRecovery() const {
    std::lock_guard lock(stateMutex_);
    return recovery_;
}

std::optional<graph::StoreRecoveryReport> DataController::takeStoreRecovery() {
    std::lock_guard lock(stateMutex_);
    return std::exchange(recovery_, std::nullopt);
}

void DataController::setSaveRetry(SaveRetry retry) {
    std::lock_guard lock(stateMutex_);
    saveRetry_ = retry;
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
// save here is a broken store. A busy store is another connection's long
// write: a failed attempt wrote nothing, so the save is tried again after a
// growing pause, and only a store still busy after that stops the program.
void DataController::saveOrStop(graph::Context& context, SaveRetry retry) {
    auto delay = retry.firstDelay;
    for (int attempt = 1;; ++attempt) {
        auto saved = context.save();
        if (saved) return;
        if (saved.error().code != graph::GraphErrorCode::busy || attempt >= retry.attempts)
            dispatch::fatalMisuse(saved.error().message);
        Logger::warning([&] {
            return "store busy (" + saved.error().message + "), saving again in " + std::to_string(delay.count()) + " ms";
        });
        std::this_thread::sleep_for(delay);
        delay = std::min(delay * 2, retry.longestDelay);
    }
}

// The blocks hold the contexts and the container, not the controller: a
// controller dropped while a chain runs must not end on one of its own
// queues. A context's own block holds it weakly for the same reason.
void DataController::save(std::function<void()> completion) {
    SaveRetry retry;
    {
        std::lock_guard lock(stateMutex_);
        retry = saveRetry_;
    }
    saveQueue_->async([container = container_, main = mainContext_, background = backgroundContext_, retry,
                       completion = std::move(completion)]() mutable {
        auto saveMain = [container, main, retry, completion]() mutable {
            main->perform([container, main, retry, completion = std::move(completion)] {
                saveOrStop(*main, retry);
                if (completion) completion();
            });
        };
        if (background->hasChanges()) {
            std::weak_ptr<graph::Context> weakBackground = background;
            background->perform(
                [container, weakBackground, main, retry, saveMain = std::move(saveMain), completion]() mutable {
                    if (auto context = weakBackground.lock()) saveOrStop(*context, retry);
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
