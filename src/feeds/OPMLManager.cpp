#include "feeds/OPMLManager.h"

#include "feeds/OPMLReader.h"
#include "feeds/OPMLWriter.h"
#include "foundation/DispatchQueueFactory.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "store/Node.h"

namespace tallowmere {

OPMLManager& OPMLManager::shared() {
    static OPMLManager instance(FeedsManager::shared(), NodesSource::shared(), DataController::shared());
    return instance;
}

OPMLManager::OPMLManager(FeedsManager& feeds, std::shared_ptr<NodesSource> nodes,
                         std::shared_ptr<DataController> data)
    : importQueue_(makeDispatchQueue(importQueueLabel, QualityOfService::standard)),
      feeds_(feeds),
      nodes_(std::move(nodes)),
      data_(std::move(data)) {}

OPMLManager::~OPMLManager() {
    // The queued imports use the semaphore and the feeds manager: let them
    // finish while both are still there.
    importQueue_.reset();
}

std::vector<FeedsManager::FeedEntry> OPMLManager::entries(const std::vector<OPMLFolder>& folders) {
    std::vector<FeedsManager::FeedEntry> result;
    for (const OPMLFolder& folder : folders)
        for (const std::string& url : folder.feeds) result.push_back({url, folder.name});
    return result;
}

void OPMLManager::importOPML(std::filesystem::path file, ImportCompletion completion) {
    importQueue_->async([this, file = std::move(file), completion = std::move(completion)] {
        runImport(file, completion);
    });
}

void OPMLManager::runImport(const std::filesystem::path& file, const ImportCompletion& completion) {
    auto folders = OPMLReader::read(file);
    if (!folders) {
        // Nothing was added, so there is no after-add step to wait for.
        if (completion) completion(folders.error(), 0);
        return;
    }
    // Even an empty list runs the after-batch step, as a file without feeds
    // still ends a batch.
    FeedBatchOptions options;
    options.saveUserFeedsFirst = true;
    options.uploadSyncInfo = true;
    std::size_t feedsAdded = 0;
    feeds_.addFeeds(entries(folders.value()), options, [this, &feedsAdded](std::size_t added) {
        feedsAdded = added;
        importSemaphore_.signal();
    });
    importSemaphore_.wait();
    if (completion) completion(std::nullopt, feedsAdded);
}

std::optional<OPMLError> OPMLManager::exportOPML(const std::filesystem::path& file) {
    if (!dispatch::MainQueue::shared().isCurrent())
        dispatch::fatalMisuse("OPMLManager::exportOPML must run on the main thread");
    std::vector<OPMLOutline> body;
    addOutlines(std::nullopt, body);
    return OPMLWriter::write(body, file);
}

void OPMLManager::addOutlines(const std::optional<Folder>& parent, std::vector<OPMLOutline>& element) {
    std::optional<graph::ObjectID> parentID;
    if (parent) parentID = parent->objectID();
    std::size_t count = nodes_->numberOfChildren(parentID);
    graph::Context& context = *data_->mainContext();
    for (std::size_t i = 0; i < count; ++i) {
        auto object = context.existingObject(nodes_->child(i, parentID));
        if (!object) continue;
        auto node = Node::from(object.value());
        if (!node) continue;
        OPMLOutline outline = OPMLOutline::other(node->name().value_or(""));
        if (auto folder = node->asFolder()) {
            outline.kind = OPMLOutline::Kind::folder;
            addOutlines(folder, outline.children);
        } else if (auto feed = node->asFeed()) {
            outline.kind = OPMLOutline::Kind::feed;
            outline.xmlUrl = feed->url();
        }
        element.push_back(std::move(outline));
    }
}

}  // namespace tallowmere
