#include "store/Folder.h"

namespace tallowmere {

std::optional<Folder> Folder::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Folder(object);
}

std::vector<Feed> Folder::feeds() const {
    std::vector<Feed> feeds;
    for (auto& object : object_->toMany(Key::feeds)) feeds.emplace_back(std::move(object));
    return feeds;
}

}  // namespace tallowmere
