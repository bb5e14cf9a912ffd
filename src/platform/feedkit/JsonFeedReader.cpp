#include "platform/feedkit/JsonFeedReader.h"

#include <nlohmann/json.hpp>

#include "platform/feedkit/FeedDate.h"
#include "platform/feedkit/XmlText.h"
#include "platform/text/JsonNesting.h"

namespace tallowmere::feedkit {
namespace {

using nlohmann::json;

// Deeper nesting than any feed needs is refused before parsing.
constexpr std::size_t kMaximumNesting = 256;

std::optional<std::string> string(const json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<std::chrono::system_clock::time_point> date(const json& object, const char* key) {
    auto text = string(object, key);
    return text ? FeedDate::parse(*text) : std::nullopt;
}

std::optional<JSONFeedAuthor> author(const json& value) {
    if (!value.is_object()) return std::nullopt;
    return JSONFeedAuthor{string(value, "name"), string(value, "url"), string(value, "avatar")};
}

// "author" (1.0) and "authors" (1.1); a 1.1 document's first author stands in
// for the 1.0 field when that one is missing.
template <typename Target>
void readAuthors(const json& object, Target& target) {
    if (auto found = object.find("author"); found != object.end()) target.author = author(*found);
    if (auto found = object.find("authors"); found != object.end() && found->is_array()) {
        target.authors.emplace();
        for (const auto& entry : *found)
            if (auto one = author(entry)) target.authors->push_back(*one);
        if (!target.author && !target.authors->empty()) target.author = target.authors->front();
    }
}

std::optional<std::string> address(const json& object, const char* key, const std::string& base) {
    auto text = string(object, key);
    if (text) text = XmlText::resolved(std::move(*text), base);
    return text;
}

JSONFeedItem readItem(const json& object, const std::string& base) {
    JSONFeedItem item;
    item.id = string(object, "id");
    if (auto id = object.find("id"); id != object.end() && id->is_number()) item.id = id->dump();
    item.url = address(object, "url", base);
    item.externalUrl = address(object, "external_url", base);
    item.title = string(object, "title");
    item.contentHtml = string(object, "content_html");
    item.contentText = string(object, "content_text");
    item.summary = string(object, "summary");
    item.datePublished = date(object, "date_published");
    item.dateModified = date(object, "date_modified");
    readAuthors(object, item);
    if (auto tags = object.find("tags"); tags != object.end() && tags->is_array()) {
        item.tags.emplace();
        for (const auto& tag : *tags)
            if (tag.is_string()) item.tags->push_back(tag.get<std::string>());
    }
    return item;
}

// Keeps the first `limit` entries of the top-level "items" array and skips
// the rest while parsing, so they never take memory.
class ItemLimit {
public:
    explicit ItemLimit(size_t limit) : limit_(limit) {}

    bool keep(int depth, json::parse_event_t event, const json& parsed) {
        if (depth == 1 && event == json::parse_event_t::key) inItems_ = parsed == "items";
        if (depth == 1 && event == json::parse_event_t::array_start && inItems_) counting_ = true;
        if (depth == 1 && event == json::parse_event_t::array_end) counting_ = false;
        if (!counting_ || depth != 2) return true;
        bool opens = event == json::parse_event_t::object_start || event == json::parse_event_t::array_start ||
                     event == json::parse_event_t::value;
        if (opens && ++count_ > limit_) cut_ = true;
        return count_ <= limit_;
    }
    bool cut() const { return cut_; }

private:
    size_t limit_;
    size_t count_ = 0;
    bool inItems_ = false;
    bool counting_ = false;
    bool cut_ = false;
};

}  // namespace

std::variant<JSONFeed, FeedError> JsonFeedReader::read(std::string_view bytes, const std::string& documentURL,
                                                       size_t itemLimit, bool* itemsCut) {
    if (text::JsonNesting::deeperThan(bytes, kMaximumNesting)) return FeedError{FeedError::Code::malformedJSON, "JSON nested too deeply"};
    ItemLimit limit(itemLimit);
    json document = json::parse(
        bytes.begin(), bytes.end(),
        [&limit](int depth, json::parse_event_t event, json& parsed) { return limit.keep(depth, event, parsed); },
        false);
    if (itemsCut) *itemsCut = limit.cut();
    if (document.is_discarded()) return FeedError{FeedError::Code::malformedJSON, "not valid JSON"};
    if (!document.is_object()) return FeedError{FeedError::Code::notAFeed, "JSON is not a feed object"};
    auto version = string(document, "version");
    bool looksLikeFeed = (version && version->find("jsonfeed.org") != std::string::npos) ||
                         (document.contains("items") && document["items"].is_array());
    if (!looksLikeFeed) return FeedError{FeedError::Code::notAFeed, "JSON document is not a JSON Feed"};
    JSONFeed feed;
    feed.version = version;
    feed.title = string(document, "title");
    feed.homePageURL = address(document, "home_page_url", documentURL);
    feed.feedUrl = address(document, "feed_url", documentURL);
    feed.description = string(document, "description");
    readAuthors(document, feed);
    if (auto items = document.find("items"); items != document.end() && items->is_array()) {
        feed.items.emplace();
        for (const auto& entry : *items)
            if (entry.is_object()) feed.items->push_back(readItem(entry, documentURL));
    }
    return feed;
}

}  // namespace tallowmere::feedkit
