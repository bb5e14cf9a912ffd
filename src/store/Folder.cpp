#include "store/Folder.h"

namespace tallowmere {

std::optional<Folder> Folder::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Folder(object);
}

std::vector<Feed> Folder::feeds() const { return makeHandles<Feed>(object_->toMany(Key::feeds)); }

}  // namespace tallowmere
