#include "store/Tag.h"

namespace tallowmere {

std::optional<Tag> Tag::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Tag(object);
}

std::vector<Article> Tag::articles() const { return makeHandles<Article>(object_->toMany(Key::articles)); }

}  // namespace tallowmere
