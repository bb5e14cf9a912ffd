#include "store/Feed.h"

#include "platform/graph/TextFolding.h"

namespace tallowmere {
std::optional<Feed> Feed::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Feed(object);
}

bool Feed::setUrl(std::optional<std::string> value) const {
    std::optional<std::string> folded = value ? std::optional<std::string>(foldedURL(*value)) : std::nullopt;
    const bool changed = setText(Key::url, std::move(value));
    setText(Key::foldedURL, std::move(folded));
    return changed;
}

std::string Feed::foldedURL(std::string_view url) { return graph::TextFolding::fold(url); }

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
