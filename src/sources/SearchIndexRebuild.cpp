#include "sources/SearchIndexRebuild.h"

#include <algorithm>
#include <utility>

#include "foundation/Logger.h"
#include "sources/SearchManager.h"
#include "store/Article.h"
#include "store/DataController.h"

namespace tallowmere {

namespace {
constexpr int maximumUnwritten = 2;
}

SearchIndexRebuild::SearchIndexRebuild(std::shared_ptr<DataController> dataController, Sink sink)
    : dataController_(std::move(dataController)),
      sink_(std::move(sink)),
      context_(dataController_->persistentContainer().newPrivateContext(queueLabel)) {
    // Reads only: what others save need not be merged into it.
    context_->setAutomaticallyMergesChanges(false);
}

SearchIndexRebuild::~SearchIndexRebuild() {
    cancel();
    context_->performAndWait([] {});
}

void SearchIndexRebuild::cancel() { flow_->cancel(); }

void SearchIndexRebuild::start(std::function<void(std::size_t)> finished) {
    context_->perform([this, finished = std::move(finished)] { run(finished); });
}

void SearchIndexRebuild::Flow::cancel() {
    {
        std::lock_guard lock(mutex);
        cancelled = true;
    }
    room.notify_all();
}

bool SearchIndexRebuild::Flow::waitForRoom() {
    std::unique_lock lock(mutex);
    room.wait(lock, [&] { return cancelled || unwritten < maximumUnwritten; });
    if (cancelled) return false;
    ++unwritten;
    return true;
}

void SearchIndexRebuild::Flow::written() {
    {
        std::lock_guard lock(mutex);
        --unwritten;
    }
    room.notify_all();
}

void SearchIndexRebuild::run(const std::function<void(std::size_t)>& finished) {
    auto ids = context_->fetchObjectIDs(Article::fetchRequest());
    if (!ids) {
        Logger::error([&] { return "search index rebuild cannot read the articles: " + ids.error().message; });
        return;
    }
    std::size_t documents = 0;
    const auto& all = ids.value();
    for (std::size_t first = 0; first < all.size(); first += batchSize) {
        if (!flow_->waitForRoom()) return;
        std::vector<textindex::TextIndexDocument> batch;
        const std::size_t last = std::min(first + batchSize, all.size());
        for (std::size_t index = first; index < last; ++index) {
            auto object = context_->existingObject(all[index]);
            if (!object) continue;  // deleted meanwhile
            Article article(object.value());
            if (auto text = SearchManager::documentText(article))
                batch.push_back({all[index].uriRepresentation(), std::move(*text)});
            // Back to a fault, so memory stays that of one batch.
            context_->refresh(object.value(), false);
        }
        documents += batch.size();
        sink_(std::move(batch), [flow = flow_] { flow->written(); });
    }
    finished_ = true;
    if (finished) finished(documents);
}

}  // namespace tallowmere
