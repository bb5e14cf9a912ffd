#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/graph/Context.h"
#include "platform/textindex/TextIndexDocument.h"

namespace tallowmere {

class DataController;

// Fills a fresh search index from the store in the background: the stored
// articles are read in batches on a private context of their own and handed
// on batch by batch, so that search answers from what is indexed so far.
// Never touches the main queue; cancellable between batches.
class SearchIndexRebuild {
public:
    // Takes a batch of documents and calls `written` once it is in the index
    // (or dropped). At most two batches wait to be written at a time.
    using Sink = std::function<void(std::vector<textindex::TextIndexDocument> documents, std::function<void()> written)>;

    static constexpr std::size_t batchSize = 250;
    static constexpr const char* queueLabel = "search_manager_rebuild_queue";

    SearchIndexRebuild(std::shared_ptr<DataController> dataController, Sink sink);
    // Cancels and waits for the batch being read, if any.
    ~SearchIndexRebuild();
    SearchIndexRebuild(const SearchIndexRebuild&) = delete;
    SearchIndexRebuild& operator=(const SearchIndexRebuild&) = delete;

    // Starts reading; `finished` runs on the rebuild's queue once every
    // article was handed on (not after a cancel).
    void start(std::function<void(std::size_t documents)> finished = {});
    void cancel();
    bool isFinished() const { return finished_.load(); }

private:
    // How many handed-on batches are not written yet; shared with the
    // `written` callbacks, which may run after the rebuild is gone.
    struct Flow {
        std::mutex mutex;
        std::condition_variable room;
        int unwritten = 0;
        bool cancelled = false;
        // Waits while too many batches are unwritten; false once cancelled.
        bool waitForRoom();
        void written();
        void cancel();
    };

    void run(const std::function<void(std::size_t)>& finished);

    const std::shared_ptr<DataController> dataController_;
    const Sink sink_;
    const std::shared_ptr<Flow> flow_ = std::make_shared<Flow>();
    std::shared_ptr<graph::Context> context_;
    std::atomic<bool> finished_{false};
};

}  // namespace tallowmere
