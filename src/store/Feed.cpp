#include "store/Feed.h"

namespace tallowmere {
std::optional<Feed> Feed::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Feed(object);
}

std::vector<Article> Feed::articles() const { return makeHandles<Article>(object_->toMany(Key::articles)); }
std::vector<Article> Feed::unreadArticles() const {
    return makeHandles<Article>(object_->toMany(Key::unreadArticles));
}
std::vector<Article> Feed::starredArticles() const {
    return makeHandles<Article>(object_->toMany(Key::starredArticles));
}

std::optional<Folder> Feed::folder() const { return Folder::from(object_->toOne(Key::folder)); }

void Feed::setFolder(const std::optional<Folder>& folder) const {
    object_->setToOne(Key::folder, folder ? folder->object() : nullptr);
}

}  // namespace tallowmere
