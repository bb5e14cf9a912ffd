#include "store/Article.h"

#include "foundation/AppUtils.h"
#include "store/DataController.h"
#include "store/StoredModel.h"

namespace tallowmere {
namespace {

std::optional<Feed> feedAt(graph::Object& object, const char* key) { return Feed::from(object.toOne(key)); }

void setFeedAt(graph::Object& object, const char* key, const std::optional<Feed>& feed) {
    object.setToOne(key, feed ? feed->object() : nullptr);
}

// What the HTML setter stores: the compressed bytes, or nothing to clear.
std::optional<graph::Bytes> compressedHTML(const std::optional<graph::Bytes>& html) {
    if (!html || html->empty()) return std::nullopt;
    auto compressed = AppUtils::compress(*html, false);
    if (!compressed || compressed->empty()) return std::nullopt;
    return compressed;
}

}  // namespace

std::optional<Article> Article::from(const graph::ObjectPtr& object) {
    if (!object || !isKindOf(*object, entityName)) return std::nullopt;
    return Article(object);
}

std::optional<Feed> Article::feed() const { return feedAt(*object_, Key::feed); }
void Article::setFeed(const std::optional<Feed>& feed) const { setFeedAt(*object_, Key::feed, feed); }
std::optional<Feed> Article::unreadInFeed() const { return feedAt(*object_, Key::unreadInFeed); }
void Article::setUnreadInFeed(const std::optional<Feed>& feed) const {
    setFeedAt(*object_, Key::unreadInFeed, feed);
}
std::optional<Feed> Article::starredInFeed() const { return feedAt(*object_, Key::starredInFeed); }
void Article::setStarredInFeed(const std::optional<Feed>& feed) const {
    setFeedAt(*object_, Key::starredInFeed, feed);
}

std::vector<Tag> Article::tags() const { return makeHandles<Tag>(object_->toMany(Key::tags)); }

void Article::addTag(const Tag& tag) const { object_->add(Key::tags, tag.object()); }
void Article::removeTag(const Tag& tag) const { object_->remove(Key::tags, tag.object()); }

bool Article::isRead() const {
    return inContext(false, [&] { return object_->toOne(Key::unreadInFeed) == nullptr; });
}

bool Article::isStarred() const {
    return inContext(false, [&] { return object_->toOne(Key::starredInFeed) != nullptr; });
}

std::optional<URL> Article::siteURL() const {
    return inContext(std::optional<URL>(), [&]() -> std::optional<URL> {
        auto link = this->link();
        if (!link) return std::nullopt;
        auto url = URL::parse(*link);
        // A relative link has no site; resolving "/" against it would give "/".
        if (!url || !url->isAbsolute()) return std::nullopt;
        return url->resolving("/");
    });
}

std::optional<graph::Bytes> Article::html() const {
    return inContext(std::optional<graph::Bytes>(), [&]() -> std::optional<graph::Bytes> {
        auto compressed = data(Key::htmlCompressedData);
        if (!compressed) return std::nullopt;
        auto html = AppUtils::compress(*compressed, true);
        if (!html || html->empty()) return std::nullopt;
        return html;
    });
}

void Article::setHtml(std::optional<graph::Bytes> value) const {
    graph::Context* context = object_->context();
    if (!context) return;
    auto controller = DataController::owning(*context);
    if (!controller) return;
    std::weak_ptr<graph::Context> weakBackground = controller->backgroundContext();
    controller->backgroundContext()->perform([weakBackground, id = objectID(), value = std::move(value)] {
        auto background = weakBackground.lock();
        if (!background) return;
        auto found = background->existingObject(id);
        if (!found) return;
        auto article = Article::from(found.value());
        if (!article) return;
        auto compressed = compressedHTML(value);
        // Too large to store: the stored HTML stays as it was.
        if (!article->setData(Key::htmlCompressedData, std::move(compressed))) return;
        // A failed save is left to the next save of this context.
        (void)background->save();
    });
}

}  // namespace tallowmere
