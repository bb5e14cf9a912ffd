#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "feeds/OPMLError.h"
#include "feeds/OPMLFeedsAdding.h"
#include "feeds/OPMLFolder.h"
#include "feeds/OPMLOutline.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"

namespace tallowmere {

class DataController;
class Folder;
class NodesSource;

// Imports subscription lists from OPML files, one import at a time, and
// exports the user's folders and feeds to one in sidebar order.
class OPMLManager {
public:
    static constexpr const char* importQueueLabel = "opml_manager_import_queue";
    // Nothing when the import ran; the error when the file could not be read.
    using ImportCompletion = std::function<void(std::optional<OPMLError>)>;

    // The export walks the node source's sidebar tree and reads each node from
    // the data controller's main context.
    OPMLManager(OPMLFeedsAdding& feeds, std::shared_ptr<NodesSource> nodes, std::shared_ptr<DataController> data);
    // Waits for the imports already queued.
    ~OPMLManager();
    OPMLManager(const OPMLManager&) = delete;
    OPMLManager& operator=(const OPMLManager&) = delete;

    // Queues the import and returns at once. The file's feeds are added as one
    // batch; the import holds the queue until the batch's after-add step has
    // finished, so a second import waits behind the first. The completion runs
    // exactly once, on the import queue.
    void importOPML(std::filesystem::path file, ImportCompletion completion);
    // Writes the sidebar tree to the file, replacing it whole or not at all.
    // On the main thread only: it reads nodes of the main context.
    std::optional<OPMLError> exportOPML(const std::filesystem::path& file);

    // The groups of a file flattened into the batch's pairs, in order.
    static std::vector<OPMLFeedsAdding::Pair> pairs(const std::vector<OPMLFolder>& folders);

private:
    void runImport(const std::filesystem::path& file, const ImportCompletion& completion);
    // The outlines of the folder's feeds, or of the top-level nodes without one.
    void addOutlines(const std::optional<Folder>& parent, std::vector<OPMLOutline>& element);

    std::unique_ptr<dispatch::SerialQueue> importQueue_;
    dispatch::Semaphore importSemaphore_{0};
    OPMLFeedsAdding& feeds_;
    std::shared_ptr<NodesSource> nodes_;
    std::shared_ptr<DataController> data_;
};

}  // namespace tallowmere
