#include "store/Tag.h"

namespace tallowmere {

std::optional<Tag> Tag::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Tag(object);
}

std::vector<Article> Tag::articles() const {
    std::vector<Article> articles;
    for (auto& object : object_->toMany(Key::articles)) articles.emplace_back(std::move(object));
    return articles;
}

}  // namespace tallowmere
