#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dispatch/SerialQueue.h"
#include "platform/graph/Container.h"
#include "platform/graph/Context.h"
#include "platform/graph/GraphError.h"
#include "platform/graph/ObjectID.h"
#include "platform/graph/StoreRecovery.h"

namespace tallowmere {

// Why the program's store could not be opened.
struct DataControllerError {
    enum class Kind {
        // Another running copy holds the data folder; the store was not touched.
        anotherCopyRunning,
        // The folder or the store could not be made or opened.
        storeUnavailable,
    };
    Kind kind;
    std::string message;
};

// How a save that meets a store busy in another connection is tried again:
// up to `attempts` times in all, waiting `firstDelay`, then twice as long
// each time up to `longestDelay`, between them (besides SQLite's own wait
// for the lock on each attempt).
struct SaveRetry {
    int attempts = 6;
    std::chrono::milliseconds firstDelay{100};
    std::chrono::milliseconds longestDelay{2000};
};

// When the store file is read through in search of damage. `afterOpen`
// reads only its header and schema at open and leaves the full check to
// checkStoreInBackground(); damage found there is repaired at the next open.
enum class FullStoreCheck { atOpen, afterOpen };

// Owns the local store: the container, the main context the views read, the
// one background context every background writer shares, and the serial
// queue that orders saves.
class DataController : public std::enable_shared_from_this<DataController> {
public:
    static constexpr const char* saveQueueLabel = "data_controller_save_queue";
    static constexpr const char* backgroundQueueLabel = "data_controller_background_context_queue";

    // Exit status of a copy of the program that found the data folder held.
    static constexpr int anotherCopyExitStatus = 75;

    // The store of the program, opened on first use as openShared() does.
    // A store that cannot be opened stops the program ("Fatal error: ...");
    // when another copy holds the data folder the program says so and exits
    // with anotherCopyExitStatus, leaving the store alone.
    static std::shared_ptr<DataController> shared();
    // Claims the data folder for this process (for the rest of its life) and
    // opens the store at defaultStorePath() as the shared controller; nothing
    // when that is done (or was done before), else why not. The program's
    // start calls it first, so that a second copy can hand its work to the
    // running one instead.
    static std::optional<DataControllerError> openShared();
    // $XDG_DATA_HOME/Tallowmere/Tallowmere.sqlite (read at each call).
    static std::filesystem::path defaultStorePath();
    // A controller over another file (tests): creates the folder and opens
    // or creates the store; an error when that fails. A store file that fails
    // the integrity check (or is empty, or not a store at all) is moved aside
    // whole and replaced by a fresh store holding everything that could still
    // be read from it; see storeRecovery(). The check reads the whole file
    // (about half a second at 100 000 articles, a recovery some seconds), so
    // the program's start opens the store off the main queue.
    static graph::Result<std::shared_ptr<DataController>> open(const std::filesystem::path& storeFile,
                                                                FullStoreCheck fullCheck = FullStoreCheck::atOpen);
    // Beside the store: present while a full check is owed at the next open
    // (the background check found damage).
    static std::filesystem::path checkDueMarker(const std::filesystem::path& storeFile);
    // When the store was opened with FullStoreCheck::afterOpen and not
    // checked in full yet: reads the whole file on a background queue, and
    // on damage leaves the marker for the next open, which recovers the store.
    // The completion (optional, on that queue) gets whether damage was found.
    void checkStoreInBackground(std::function<void(bool damaged)> completion = {});
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
    // How the store was recovered at open, when it was found damaged; kept
    // until taken, so the window can tell the user once.
    std::optional<graph::StoreRecoveryReport> storeRecovery() const;
    std::optional<graph::StoreRecoveryReport> takeStoreRecovery();

    // The retry of saves that meet a busy store (tests shorten it).
    void setSaveRetry(SaveRetry retry);

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
    static void saveOrStop(graph::Context& context, SaveRetry retry);
    // Checks the file and replaces it when damaged; how, or nothing when it was sound.
    static graph::Result<std::optional<graph::StoreRecoveryReport>> recoverIfDamaged(
        const std::filesystem::path& storeFile, graph::StoreCheck::Depth depth);

    // Destroyed in reverse order: the contexts before the container they
    // use, the save queue (which may still hold a chain step) first of all.
    std::shared_ptr<graph::Container> container_;
    std::shared_ptr<graph::Context> mainContext_;
    std::shared_ptr<graph::Context> backgroundContext_;
    std::unique_ptr<dispatch::SerialQueue> saveQueue_;
    mutable std::mutex stateMutex_;
    std::optional<graph::StoreRecoveryReport> recovery_;
    SaveRetry saveRetry_;
    std::filesystem::path storeFile_;
    bool fullCheckOwed_ = false;
};

}  // namespace tallowmere
