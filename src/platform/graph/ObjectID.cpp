#include "platform/graph/ObjectID.h"

#include "platform/graph/ModelDescription.h"

namespace tallowmere::graph {

std::string ObjectID::uriRepresentation() const {
    if (!entity_) return {};
    const std::string& store = entity_->model() ? entity_->model()->storeIdentifier() : std::string();
    std::string uri = "tallowmere://";
    uri.append(store).append("/").append(entity_->name()).append(key_ < 0 ? "/t" : "/p");
    uri.append(std::to_string(key_ < 0 ? -key_ : key_));
    return uri;
}

bool ObjectID::operator==(const ObjectID& other) const {
    if (key_ != other.key_) return false;
    if (entity_ == other.entity_) return true;
    return entity_ && other.entity_ && entity_->root() == other.entity_->root();
}

bool ObjectID::operator<(const ObjectID& other) const {
    const void* a = entity_ ? entity_->root() : nullptr;
    const void* b = other.entity_ ? other.entity_->root() : nullptr;
    if (a != b) return std::less<const void*>()(a, b);
    return key_ < other.key_;
}

std::size_t ObjectID::hash() const {
    const void* root = entity_ ? entity_->root() : nullptr;
    return std::hash<std::int64_t>()(key_) ^ (std::hash<const void*>()(root) << 1);
}

}  // namespace tallowmere::graph
