#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "feeds/OPMLError.h"
#include "feeds/FeedsManager.h"
#include "feeds/OPMLFolder.h"
#include "feeds/OPMLOutline.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"

namespace tallowmere {


// Imports subscription lists from OPML files, one import at a time, and
// exports the user's folders and feeds to one in sidebar order.
class OPMLManager {
public:
    static constexpr const char* importQueueLabel = "opml_manager_import_queue";
    // Nothing and the number of feeds added when the import ran; the error
    // (and 0) when the file could not be read.
    using ImportCompletion = std::function<void(std::optional<OPMLError> error, std::size_t feedsAdded)>;

    // The program's manager over the shared feeds manager, node source and
    // store, made on first use (on the main thread, as the node source is).
    static OPMLManager& shared();

    // Imports add through `feeds`; the export walks the sidebar tree of
    // `nodes` and reads each node from the main context of `data`.
    OPMLManager(FeedsManager& feeds, std::shared_ptr<NodesSource> nodes, std::shared_ptr<DataController> data);
    // Waits for the imports already queued.
    ~OPMLManager();
    OPMLManager(const OPMLManager&) = delete;
    OPMLManager& operator=(const OPMLManager&) = delete;

    // Queues the import and returns at once. The file's feeds are added as one
    // batch (failures of single feeds are not reported), then the after-batch
    // step runs with the cloud feed list saved first and the read and starred
    // state uploaded. The import holds its queue until that step has finished,
    // so a second import waits behind the first. The completion runs exactly
    // once, on the import queue.
    void importOPML(std::filesystem::path file, ImportCompletion completion);
    // Writes the sidebar tree to the file, replacing it whole or not at all.
    // On the main thread only: it reads nodes of the main context.
    std::optional<OPMLError> exportOPML(const std::filesystem::path& file);

    // The groups of a file flattened into the batch's entries, in order.
    static std::vector<FeedsManager::FeedEntry> entries(const std::vector<OPMLFolder>& folders);

private:
    void runImport(const std::filesystem::path& file, const ImportCompletion& completion);
    // The outlines of the folder's feeds, or of the top-level nodes without one.
    void addOutlines(const std::optional<Folder>& parent, std::vector<OPMLOutline>& element);

    std::unique_ptr<dispatch::SerialQueue> importQueue_;
    dispatch::Semaphore importSemaphore_{0};
    FeedsManager& feeds_;
    std::shared_ptr<NodesSource> nodes_;
    std::shared_ptr<DataController> data_;
};

}  // namespace tallowmere
