#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graph/Value.h"
#include "store/Node.h"

namespace tallowmere {

class Article;
class Folder;

// A subscribed feed. Deleting it deletes its articles.
class Feed : public Node {
public:
    static constexpr const char* entityName = "Feed";
    struct Key : Node::Key {
        static constexpr const char* tallowmereHash = "tallowmereHash";
        static constexpr const char* url = "url";
        // The URL folded as text comparisons fold it (case and diacritics),
        // kept with it so that a lookup by URL is an index search, not a
        // fold of every stored URL.
        static constexpr const char* foldedURL = "foldedURL";
        static constexpr const char* httpETag = "httpETag";
        static constexpr const char* httpLastModified = "httpLastModified";
        static constexpr const char* icon = "icon";
        static constexpr const char* lastUpdate = "lastUpdate";
        static constexpr const char* newsletterType = "newsletterType";
        static constexpr const char* notifyUpdates = "notifyUpdates";
        static constexpr const char* createdAt = "createdAt";
        static constexpr const char* articles = "articles";
        static constexpr const char* folder = "folder";
        static constexpr const char* unreadArticles = "unreadArticles";
        static constexpr const char* starredArticles = "starredArticles";
    };

    explicit Feed(graph::ObjectPtr object) : Node(std::move(object), entityName) {}
    static std::optional<Feed> from(const graph::ObjectPtr& object);
    static graph::FetchRequest fetchRequest() { return graph::FetchRequest(entityName); }
    static Feed insert(graph::Context& context) { return Feed(context.insert(entityName)); }

    std::int64_t tallowmereHash() const { return object_->integer(Key::tallowmereHash); }
    void setTallowmereHash(std::int64_t value) const { object_->setInteger(Key::tallowmereHash, value); }
    std::optional<std::string> url() const { return text(Key::url); }
    // Also sets foldedURL.
    bool setUrl(std::optional<std::string> value) const;
    // How foldedURL stores the URL.
    static std::string foldedURL(std::string_view url);
    std::optional<std::string> httpETag() const { return text(Key::httpETag); }
    bool setHttpETag(std::optional<std::string> value) const {
        return setText(Key::httpETag, std::move(value));
    }
    std::optional<std::string> httpLastModified() const { return text(Key::httpLastModified); }
    bool setHttpLastModified(std::optional<std::string> value) const {
        return setText(Key::httpLastModified, std::move(value));
    }
    std::optional<graph::Bytes> icon() const { return data(Key::icon); }
    bool setIcon(std::optional<graph::Bytes> value) const { return setData(Key::icon, std::move(value)); }
    std::optional<graph::Date> lastUpdate() const { return object_->date(Key::lastUpdate); }
    void setLastUpdate(std::optional<graph::Date> value) const { object_->setDate(Key::lastUpdate, value); }
    // The raw NewsletterType value as stored.
    std::int16_t newsletterType() const {
        return static_cast<std::int16_t>(object_->integer(Key::newsletterType));
    }
    void setNewsletterType(std::int16_t value) const { object_->setInteger(Key::newsletterType, value); }
    bool notifyUpdates() const { return object_->boolean(Key::notifyUpdates); }
    void setNotifyUpdates(bool value) const { object_->setBoolean(Key::notifyUpdates, value); }
    // When this device stored the feed; absent for feeds stored before the
    // date was kept. The cloud feed-list sync keeps feeds newer than its last run.
    std::optional<graph::Date> createdAt() const { return object_->date(Key::createdAt); }
    void setCreatedAt(std::optional<graph::Date> value) const { object_->setDate(Key::createdAt, value); }

    // In their stored order.
    std::vector<Article> articles() const;
    std::size_t articleCount() const { return object_->count(Key::articles); }
    // Absent for a feed at the top level.
    std::optional<Folder> folder() const;
    void setFolder(const std::optional<Folder>& folder) const;
    std::vector<Article> unreadArticles() const;
    std::size_t unreadCount() const { return object_->count(Key::unreadArticles); }
    std::vector<Article> starredArticles() const;
    std::size_t starredCount() const { return object_->count(Key::starredArticles); }
};

}  // namespace tallowmere

#include "store/Article.h"
#include "store/Folder.h"
