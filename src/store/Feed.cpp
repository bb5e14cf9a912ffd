#include "store/Feed.h"

namespace tallowmere {
namespace {

std::vector<Article> articlesOf(graph::Object& object, const char* key) {
    std::vector<Article> articles;
    for (auto& member : object.toMany(key)) articles.emplace_back(std::move(member));
    return articles;
}

}  // namespace

std::optional<Feed> Feed::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Feed(object);
}

std::vector<Article> Feed::articles() const { return articlesOf(*object_, Key::articles); }
std::vector<Article> Feed::unreadArticles() const { return articlesOf(*object_, Key::unreadArticles); }
std::vector<Article> Feed::starredArticles() const { return articlesOf(*object_, Key::starredArticles); }

std::optional<Folder> Feed::folder() const { return Folder::from(object_->toOne(Key::folder)); }

void Feed::setFolder(const std::optional<Folder>& folder) const {
    object_->setToOne(Key::folder, folder ? folder->object() : nullptr);
}

}  // namespace tallowmere
