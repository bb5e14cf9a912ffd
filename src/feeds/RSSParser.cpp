#include "feeds/RSSParser.h"

#include "foundation/DispatchQueueFactory.h"
#include "foundation/TextOperations.h"

namespace tallowmere {
namespace {

using Date = RemoteArticle::Date;

std::optional<std::string> normalized(const std::optional<std::string>& link) {
    if (!link) return std::nullopt;
    return RSSParser::normalizedLink(*link);
}

template <typename T, typename Value>
std::optional<std::set<std::string>> tagSet(const std::optional<std::vector<T>>& list, Value value) {
    if (!list || list->empty()) return std::nullopt;
    std::set<std::string> tags;
    for (const auto& element : *list)
        if (auto name = value(element)) tags.insert(*name);
    return tags;
}

template <typename... Sources>
Date firstDate(const Sources&... sources) {
    std::optional<Date> found;
    ((found = found ? found : sources), ...);
    return found ? *found : std::chrono::system_clock::now();
}

std::string firstContent(std::initializer_list<const std::optional<std::string>*> sources) {
    for (const auto* source : sources)
        if (*source) return trimmingWhitespace(**source);
    return {};
}

// --- RSS ---------------------------------------------------------------------

std::optional<RSSArticle> mapItem(const feedkit::RSSFeedItem& item, const feedkit::RSSFeed& feed) {
    if (!item.title) return std::nullopt;
    std::optional<std::string> link = item.link;
    if (!link && item.guid) link = item.guid->value;
    if (!link) return std::nullopt;
    static const std::optional<std::string> none;
    const auto& encoded = item.content ? item.content->contentEncoded : none;
    std::optional<Date> itemDcDate = item.dublinCore ? item.dublinCore->dcDate : std::nullopt;
    std::optional<Date> feedDcDate = feed.dublinCore ? feed.dublinCore->dcDate : std::nullopt;
    Date date = firstDate(itemDcDate, item.pubDate, feedDcDate, feed.lastBuildDate, feed.pubDate);
    auto creator = item.dublinCore ? item.dublinCore->dcCreator : std::nullopt;
    auto tags = tagSet(item.categories, [](const feedkit::RSSFeedItemCategory& c) { return c.value; });
    return RSSArticle(*item.title, date, firstContent({&encoded, &item.description}), creator,
                      RSSParser::normalizedLink(*link), std::nullopt, std::move(tags));
}

// --- Atom --------------------------------------------------------------------

bool attributeContains(const feedkit::AtomFeedEntryLink& link,
                       const std::optional<std::string> feedkit::AtomFeedLink::Attributes::*field,
                       const char* needle) {
    if (!link.attributes) return false;
    const auto& value = (*link.attributes).*field;
    return value && value->find(needle) != std::string::npos;
}

// A link typed as text (HTML above all), preferring an alternate one; else the first link.
const feedkit::AtomFeedEntryLink* chosenLink(const feedkit::AtomFeedEntry& entry) {
    if (!entry.links || entry.links->empty()) return nullptr;
    const feedkit::AtomFeedEntryLink* firstText = nullptr;
    for (const auto& link : *entry.links) {
        if (!attributeContains(link, &feedkit::AtomFeedLink::Attributes::type, "text")) continue;
        if (attributeContains(link, &feedkit::AtomFeedLink::Attributes::rel, "alternate")) return &link;
        if (!firstText) firstText = &link;
    }
    return firstText ? firstText : &entry.links->front();
}

std::optional<RSSArticle> mapEntry(const feedkit::AtomFeedEntry& entry, const feedkit::AtomFeed& feed) {
    if (!entry.title) return std::nullopt;
    const auto* link = chosenLink(entry);
    if (!link || !link->attributes || !link->attributes->href) return std::nullopt;
    static const std::optional<std::string> none;
    const auto& content = entry.content ? entry.content->value : none;
    const auto& summary = entry.summary ? entry.summary->value : none;
    std::optional<std::string> creator;
    if (entry.authors && !entry.authors->empty()) creator = entry.authors->front().name;
    auto tags = tagSet(entry.categories, [](const feedkit::AtomFeedEntryCategory& c) {
        return c.attributes ? c.attributes->term : std::nullopt;
    });
    return RSSArticle(*entry.title, firstDate(entry.updated, feed.updated),
                      firstContent({&content, &summary}), creator,
                      RSSParser::normalizedLink(*link->attributes->href), std::nullopt, std::move(tags));
}

// --- JSON Feed ---------------------------------------------------------------

std::optional<RSSArticle> mapJSONItem(const feedkit::JSONFeedItem& item, const feedkit::JSONFeed& feed) {
    if (!item.title) return std::nullopt;
    const auto& link = item.url ? item.url : item.externalUrl;
    if (!link) return std::nullopt;
    std::optional<std::string> creator = item.author ? item.author->name : std::nullopt;
    if (!creator && feed.author) creator = feed.author->name;
    std::set<std::string> tags;
    if (item.tags) tags.insert(item.tags->begin(), item.tags->end());
    return RSSArticle(*item.title, firstDate(item.datePublished, item.dateModified),
                      firstContent({&item.contentHtml, &item.contentText, &item.summary}), creator,
                      RSSParser::normalizedLink(*link), std::nullopt, std::move(tags));
}

template <typename Item, typename Feed, typename Map>
std::vector<RSSArticle> mapAll(const std::optional<std::vector<Item>>& items, const Feed& feed, Map map) {
    std::vector<RSSArticle> articles;
    if (!items) return articles;
    articles.reserve(items->size());
    for (const auto& item : *items)
        if (auto article = map(item, feed)) articles.push_back(std::move(*article));
    return articles;
}

}  // namespace

std::string RSSParser::normalizedLink(const std::string& link) {
    std::string result = trimmingWhitespace(link);
    if (result.rfind("//", 0) == 0) result.insert(0, "http:");
    return result;
}

std::optional<RSSFeed> RSSParser::map(const feedkit::RSSFeed& feed) {
    if (!feed.title) return std::nullopt;
    auto categories = tagSet(feed.categories, [](const feedkit::RSSFeedCategory& c) { return c.value; });
    return RSSFeed{*feed.title, mapAll(feed.items, feed, mapItem), normalized(feed.link),
                   std::move(categories)};
}

std::optional<RSSFeed> RSSParser::map(const feedkit::AtomFeed& feed) {
    if (!feed.title) return std::nullopt;
    std::optional<std::string> link;
    if (feed.links && !feed.links->empty() && feed.links->front().attributes)
        link = normalized(feed.links->front().attributes->href);
    auto categories = tagSet(feed.categories, [](const feedkit::AtomFeedCategory& c) {
        return c.attributes ? c.attributes->term : std::nullopt;
    });
    return RSSFeed{*feed.title, mapAll(feed.entries, feed, mapEntry), link, std::move(categories)};
}

std::optional<RSSFeed> RSSParser::map(const feedkit::JSONFeed& feed) {
    if (!feed.title) return std::nullopt;
    auto link = normalized(feed.homePageURL ? feed.homePageURL : feed.feedUrl);
    return RSSFeed{*feed.title, mapAll(feed.items, feed, mapJSONItem), link, std::nullopt};
}

void RSSParser::parse(const feedkit::Result& result, const Completion& completion) {
    if (!result.isSuccess()) {
        completion(std::nullopt, result.error());
        return;
    }
    std::optional<RSSFeed> feed;
    if (const auto* rss = result.rssFeed()) feed = map(*rss);
    if (const auto* atom = result.atomFeed()) feed = map(*atom);
    if (const auto* json = result.jsonFeed()) feed = map(*json);
    completion(std::move(feed), result.error());
}

dispatch::SerialQueue& RSSParser::parseQueue() {
    // Deliberately never destroyed: parses may still be queued while the process ends.
    static dispatch::SerialQueue* queue =
        makeDispatchQueue("rss_parser_parse_queue", QualityOfService::utility).release();
    return *queue;
}

}  // namespace tallowmere
