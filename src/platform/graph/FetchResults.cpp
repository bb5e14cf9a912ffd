#include "platform/graph/FetchResults.h"

#include <algorithm>

#include "platform/graph/Context.h"

namespace tallowmere::graph {

FetchResults::FetchResults(std::weak_ptr<Context> context, std::vector<ObjectID> ids, std::vector<ObjectPtr> loaded,
                           std::size_t batchSize, std::vector<std::string> prefetch)
    : context_(std::move(context)),
      ids_(std::move(ids)),
      objects_(std::move(loaded)),
      batchSize_(batchSize),
      prefetch_(std::move(prefetch)) {}

ObjectPtr FetchResults::at(std::size_t index) const {
    if (index >= ids_.size()) return nullptr;
    if (objects_.size() != ids_.size()) objects_.resize(ids_.size());
    if (objects_[index]) return objects_[index];
    auto context = context_.lock();
    if (!context) return nullptr;
    const std::size_t batch = batchSize_ == 0 ? ids_.size() : batchSize_;
    const std::size_t first = index / batch * batch;
    const std::size_t last = std::min(ids_.size(), first + batch);
    std::vector<ObjectID> slice(ids_.begin() + static_cast<std::ptrdiff_t>(first), ids_.begin() + static_cast<std::ptrdiff_t>(last));
    // Fetched objects are read whole, as an eager fetch reads them.
    auto loaded = context->loadBatch(slice, prefetch_, false);
    for (std::size_t i = first; i < last; ++i) objects_[i] = loaded[i - first];
    return objects_[index];
}

std::vector<ObjectPtr> FetchResults::all() const {
    std::vector<ObjectPtr> out;
    out.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) out.push_back(at(i));
    return out;
}

}  // namespace tallowmere::graph
