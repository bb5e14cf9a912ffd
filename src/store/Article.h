#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/URL.h"
#include "platform/graph/FetchRequest.h"
#include "platform/graph/Value.h"
#include "store/StoredObject.h"

namespace tallowmere {

class Feed;
class Tag;

// One stored item of a feed. Unread and starred are relations, not flags:
// an article is unread while unreadInFeed is set and starred while
// starredInFeed is set, both pointing at its own feed.
class Article : public StoredObject {
public:
    static constexpr const char* entityName = "Article";
    struct Key {
        static constexpr const char* tallowmereHash = "tallowmereHash";
        static constexpr const char* createdAt = "createdAt";
        static constexpr const char* date = "date";
        static constexpr const char* title = "title";
        static constexpr const char* creator = "creator";
        static constexpr const char* link = "link";
        static constexpr const char* previewContent = "previewContent";
        static constexpr const char* textContent = "textContent";
        static constexpr const char* descriptionContent = "descriptionContent";
        static constexpr const char* isFullTextContent = "isFullTextContent";
        static constexpr const char* topImage = "topImage";
        static constexpr const char* topVideo = "topVideo";
        static constexpr const char* readDate = "readDate";
        static constexpr const char* htmlCompressedData = "htmlCompressedData";
        static constexpr const char* feed = "feed";
        static constexpr const char* unreadInFeed = "unreadInFeed";
        static constexpr const char* starredInFeed = "starredInFeed";
        static constexpr const char* tags = "tags";
    };

    explicit Article(graph::ObjectPtr object) : StoredObject(std::move(object), entityName) {}
    static std::optional<Article> from(const graph::ObjectPtr& object);
    static graph::FetchRequest fetchRequest() { return graph::FetchRequest(entityName); }
    static Article insert(graph::Context& context) { return Article(context.insert(entityName)); }

    std::int64_t tallowmereHash() const { return object_->integer(Key::tallowmereHash); }
    void setTallowmereHash(std::int64_t value) const { object_->setInteger(Key::tallowmereHash, value); }
    std::optional<graph::Date> createdAt() const { return object_->date(Key::createdAt); }
    void setCreatedAt(std::optional<graph::Date> value) const { object_->setDate(Key::createdAt, value); }
    std::optional<graph::Date> date() const { return object_->date(Key::date); }
    void setDate(std::optional<graph::Date> value) const { object_->setDate(Key::date, value); }
    std::optional<std::string> title() const { return text(Key::title); }
    bool setTitle(std::optional<std::string> value) const { return setText(Key::title, std::move(value)); }
    std::optional<std::string> creator() const { return text(Key::creator); }
    bool setCreator(std::optional<std::string> value) const {
        return setText(Key::creator, std::move(value));
    }
    std::optional<std::string> link() const { return text(Key::link); }
    bool setLink(std::optional<std::string> value) const { return setText(Key::link, std::move(value)); }
    std::optional<std::string> previewContent() const { return text(Key::previewContent); }
    bool setPreviewContent(std::optional<std::string> value) const {
        return setText(Key::previewContent, std::move(value));
    }
    std::optional<std::string> textContent() const { return text(Key::textContent); }
    bool setTextContent(std::optional<std::string> value) const {
        return setText(Key::textContent, std::move(value));
    }
    std::optional<std::string> descriptionContent() const { return text(Key::descriptionContent); }
    bool setDescriptionContent(std::optional<std::string> value) const {
        return setText(Key::descriptionContent, std::move(value));
    }
    bool isFullTextContent() const { return object_->boolean(Key::isFullTextContent); }
    void setIsFullTextContent(bool value) const { object_->setBoolean(Key::isFullTextContent, value); }
    std::optional<std::string> topImage() const { return text(Key::topImage); }
    bool setTopImage(std::optional<std::string> value) const {
        return setText(Key::topImage, std::move(value));
    }
    std::optional<std::string> topVideo() const { return text(Key::topVideo); }
    bool setTopVideo(std::optional<std::string> value) const {
        return setText(Key::topVideo, std::move(value));
    }
    std::optional<graph::Date> readDate() const { return object_->date(Key::readDate); }
    void setReadDate(std::optional<graph::Date> value) const { object_->setDate(Key::readDate, value); }

    std::optional<Feed> feed() const;
    void setFeed(const std::optional<Feed>& feed) const;
    std::optional<Feed> unreadInFeed() const;
    void setUnreadInFeed(const std::optional<Feed>& feed) const;
    std::optional<Feed> starredInFeed() const;
    void setStarredInFeed(const std::optional<Feed>& feed) const;
    std::vector<Tag> tags() const;
    void addTag(const Tag& tag) const;
    void removeTag(const Tag& tag) const;

    // Computed; safe from any thread (they run inside the article's context).
    // False without a context.
    bool isRead() const;
    bool isStarred() const;
    // The root of the link's site ("https://host/"); nothing without a
    // context or link, or when the link is no absolute URL.
    std::optional<URL> siteURL() const;
    // The article's HTML, kept LZFSE-compressed. Nothing without a context,
    // without stored data, or when the data does not decompress.
    std::optional<graph::Bytes> html() const;
    // Stores the HTML later, on the background context of the article's
    // DataController, which is then saved (a failed save is left to the next
    // one). Nothing or empty data clears it. Nothing happens for an article
    // that is not saved yet or whose store has no DataController.
    void setHtml(std::optional<graph::Bytes> value) const;
};

}  // namespace tallowmere

#include "store/Feed.h"
#include "store/Tag.h"
