#include "platform/feedkit/JsonFeedReader.h"

#include <nlohmann/json.hpp>

#include "platform/feedkit/FeedDate.h"

namespace tallowmere::feedkit {
namespace {

using nlohmann::json;

// Deeper nesting than any feed needs is refused before parsing.
constexpr int kMaximumNesting = 256;

bool nestsTooDeep(std::string_view bytes) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : bytes) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > kMaximumNesting) return true;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return false;
}

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

JSONFeedItem readItem(const json& object) {
    JSONFeedItem item;
    item.id = string(object, "id");
    if (auto id = object.find("id"); id != object.end() && id->is_number()) item.id = id->dump();
    item.url = string(object, "url");
    item.externalUrl = string(object, "external_url");
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

}  // namespace

std::variant<JSONFeed, FeedError> JsonFeedReader::read(std::string_view bytes) {
    if (nestsTooDeep(bytes)) return FeedError{FeedError::Code::malformedJSON, "JSON nested too deeply"};
    json document = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (document.is_discarded()) return FeedError{FeedError::Code::malformedJSON, "not valid JSON"};
    if (!document.is_object()) return FeedError{FeedError::Code::notAFeed, "JSON is not a feed object"};
    auto version = string(document, "version");
    bool looksLikeFeed = (version && version->find("jsonfeed.org") != std::string::npos) ||
                         (document.contains("items") && document["items"].is_array());
    if (!looksLikeFeed) return FeedError{FeedError::Code::notAFeed, "JSON document is not a JSON Feed"};
    JSONFeed feed;
    feed.version = version;
    feed.title = string(document, "title");
    feed.homePageURL = string(document, "home_page_url");
    feed.feedUrl = string(document, "feed_url");
    feed.description = string(document, "description");
    readAuthors(document, feed);
    if (auto items = document.find("items"); items != document.end() && items->is_array()) {
        feed.items.emplace();
        for (const auto& entry : *items)
            if (entry.is_object()) feed.items->push_back(readItem(entry));
    }
    return feed;
}

}  // namespace tallowmere::feedkit
