#include "feeds/RSSParser.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "foundation/DispatchQueueFactory.h"
#include "foundation/TextOperations.h"
#include "foundation/HTMLText.h"
#include "foundation/Logger.h"
#include "foundation/URL.h"

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

std::optional<std::set<std::string>> nameSet(const std::optional<std::vector<std::string>>& names) {
    return tagSet(names, [](const std::string& name) { return std::optional<std::string>(name); });
}

template <typename... Sources>
Date firstDate(const Sources&... sources) {
    std::optional<Date> found;
    ((found = found ? found : sources), ...);
    return found ? *found : std::chrono::system_clock::now();
}

template <typename T>
std::optional<T> first(std::initializer_list<std::optional<T>> sources) {
    for (const auto& source : sources)
        if (source) return source;
    return std::nullopt;
}

std::string firstContent(std::initializer_list<std::optional<std::string>> sources) {
    for (const auto& source : sources)
        if (source) return trimmingWhitespace(*source);
    return {};
}

// The host of an absolute URL, without "www.".
std::optional<std::string> hostOf(const std::optional<std::string>& address) {
    if (!address) return std::nullopt;
    const auto url = URL::parse(trimmingWhitespace(*address));
    std::optional<std::string> host = url ? url->host() : std::nullopt;
    if (!host || host->empty()) return std::nullopt;
    if (host->size() > 4 && host->compare(0, 4, "www.") == 0) return host->substr(4);
    return host;
}

// A feed without a title is named after its site, else after where it was read from.
std::optional<std::string> feedName(std::optional<std::string> title, const std::optional<std::string>& siteLink,
                                    const std::string& documentURL) {
    if (title) return title;
    if (auto host = hostOf(siteLink)) return host;
    if (!documentURL.empty()) return hostOf(documentURL);
    return std::nullopt;
}

// An item with neither a link nor an ID, only text, still needs an address
// that stays the same between refreshes and differs between items: the
// feed's site with a fragment made from the text.
std::string textAddress(const std::string& content, const std::string& siteLink) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : content) hash = (hash ^ c) * 1099511628211ull;
    char fragment[17];
    std::snprintf(fragment, sizeof fragment, "%016llx", static_cast<unsigned long long>(hash));
    std::string base = siteLink.substr(0, siteLink.find('#'));
    return base + "#item-" + fragment;
}

struct ItemParts {
    std::optional<std::string> title;
    std::optional<std::string> link;
    std::string content;
    Date date;
};

// The shared rules for every format: keep an item that has a link, an ID or
// text; name an untitled one after its text or date.
std::optional<RSSArticle> article(ItemParts parts, const std::optional<std::string>& id,
                                  std::optional<std::string> creator, std::optional<std::set<std::string>> tags,
                                  const std::string& siteLink) {
    std::optional<std::string> link = parts.link;
    if (!link) link = id;
    if (!link && !parts.content.empty() && !siteLink.empty()) link = textAddress(parts.content, siteLink);
    if (!link) return std::nullopt;
    std::string title = parts.title ? *parts.title : RSSParser::standInTitle(parts.content, parts.date);
    return RSSArticle(std::move(title), parts.date, std::move(parts.content), std::move(creator),
                      RSSParser::normalizedLink(*link), std::nullopt, std::move(tags));
}

// The address untitled feeds and link-less items are known by.
std::string siteAddress(const std::optional<std::string>& link, const std::string& documentURL) {
    if (link && hostOf(link)) return trimmingWhitespace(*link);
    return documentURL;
}

// --- RSS ---------------------------------------------------------------------

std::optional<RSSArticle> mapItem(const feedkit::RSSFeedItem& item, const feedkit::RSSFeed& feed,
                                  const std::string& siteLink) {
    const auto& dc = item.dublinCore ? *item.dublinCore : feedkit::DublinCoreNamespace{};
    const auto& iTunes = item.iTunes ? *item.iTunes : feedkit::ITunesNamespace{};
    const auto& media = item.media ? *item.media : feedkit::MediaNamespace{};
    std::optional<std::string> encoded = item.content ? item.content->contentEncoded : std::nullopt;
    std::optional<Date> feedDcDate = feed.dublinCore ? feed.dublinCore->dcDate : std::nullopt;
    ItemParts parts;
    parts.title = first({item.title, dc.dcTitle, media.title});
    parts.link = item.link;
    if (!parts.link && item.guid) parts.link = item.guid->value;
    parts.content = firstContent({encoded, item.description, item.xhtmlBody, dc.dcDescription, iTunes.summary,
                                  media.description});
    parts.date = firstDate(dc.dcDate, item.pubDate, dc.dctermsIssued, dc.dctermsModified, feedDcDate,
                           feed.lastBuildDate, feed.pubDate);
    auto creator = first({dc.dcCreator, item.author, iTunes.author});
    auto tags = tagSet(item.categories, [](const feedkit::RSSFeedItemCategory& c) { return c.value; });
    if (!tags) tags = nameSet(dc.dcSubjects);
    if (!tags) tags = nameSet(iTunes.categories);
    if (!tags) tags = nameSet(media.categories);
    return article(std::move(parts), std::nullopt, std::move(creator), std::move(tags), siteLink);
}

// --- Atom --------------------------------------------------------------------

bool attributeContains(const feedkit::AtomFeedLink& link,
                       const std::optional<std::string> feedkit::AtomFeedLink::Attributes::*field,
                       const char* needle) {
    if (!link.attributes) return false;
    const auto& value = (*link.attributes).*field;
    return value && value->find(needle) != std::string::npos;
}

// A link without a relation is an alternate one.
bool isAlternate(const feedkit::AtomFeedLink& link) {
    if (!link.attributes || !link.attributes->rel) return true;
    return attributeContains(link, &feedkit::AtomFeedLink::Attributes::rel, "alternate");
}

bool isTextTyped(const feedkit::AtomFeedLink& link) {
    return attributeContains(link, &feedkit::AtomFeedLink::Attributes::type, "text") ||
           attributeContains(link, &feedkit::AtomFeedLink::Attributes::type, "html");
}

bool isUntyped(const feedkit::AtomFeedLink& link) { return !link.attributes || !link.attributes->type; }

// The page an entry (or a feed) stands for: an alternate link typed as text
// or HTML, else an untyped alternate one, else any link typed as text, else
// the first link. A link without a relation counts as alternate, so an
// alternate link wins over related and via links.
const feedkit::AtomFeedLink* chosenLink(const std::optional<std::vector<feedkit::AtomFeedLink>>& links) {
    if (!links || links->empty()) return nullptr;
    auto rank = [](const feedkit::AtomFeedLink& link) {
        if (isAlternate(link) && isTextTyped(link)) return 0;
        if (isAlternate(link) && isUntyped(link)) return 1;
        if (isTextTyped(link)) return 2;
        return 3;
    };
    const feedkit::AtomFeedLink* best = &links->front();
    int bestRank = rank(*best);
    for (const auto& link : *links) {
        int r = rank(link);
        if (r < bestRank) {
            best = &link;
            bestRank = r;
        }
    }
    return best;
}

std::optional<std::string> chosenHref(const std::optional<std::vector<feedkit::AtomFeedLink>>& links) {
    const auto* link = chosenLink(links);
    if (!link || !link->attributes) return std::nullopt;
    return link->attributes->href;
}

std::optional<RSSArticle> mapEntry(const feedkit::AtomFeedEntry& entry, const feedkit::AtomFeed& feed,
                                   const std::string& siteLink) {
    ItemParts parts;
    parts.title = entry.title;
    parts.link = chosenHref(entry.links);
    parts.content = firstContent({entry.content ? entry.content->value : std::nullopt,
                                  entry.summary ? entry.summary->value : std::nullopt});
    parts.date = firstDate(entry.updated, entry.published, feed.updated);
    std::optional<std::string> creator;
    if (entry.authors && !entry.authors->empty()) creator = entry.authors->front().name;
    auto tags = tagSet(entry.categories, [](const feedkit::AtomFeedEntryCategory& c) {
        return c.attributes ? c.attributes->term : std::nullopt;
    });
    return article(std::move(parts), entry.id, std::move(creator), std::move(tags), siteLink);
}

// --- JSON Feed ---------------------------------------------------------------

std::optional<RSSArticle> mapJSONItem(const feedkit::JSONFeedItem& item, const feedkit::JSONFeed& feed,
                                      const std::string& siteLink) {
    ItemParts parts;
    parts.title = item.title;
    parts.link = item.url ? item.url : item.externalUrl;
    parts.content = firstContent({item.contentHtml, item.contentText, item.summary});
    parts.date = firstDate(item.datePublished, item.dateModified);
    std::optional<std::string> creator = item.author ? item.author->name : std::nullopt;
    if (!creator && feed.author) creator = feed.author->name;
    std::set<std::string> tags;
    if (item.tags) tags.insert(item.tags->begin(), item.tags->end());
    return article(std::move(parts), item.id, std::move(creator), std::move(tags), siteLink);
}

template <typename Item, typename Feed, typename Map>
std::vector<RSSArticle> mapAll(const std::optional<std::vector<Item>>& items, const Feed& feed,
                               const std::string& siteLink, Map map) {
    std::vector<RSSArticle> articles;
    if (!items) return articles;
    articles.reserve(items->size());
    for (const auto& item : *items)
        if (auto article = map(item, feed, siteLink)) articles.push_back(std::move(*article));
    return articles;
}

// Up to this many characters of an item's text name an untitled item.
constexpr size_t kStandInTitleLength = 60;

std::string collapsedWhiteSpace(const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (std::int32_t at = 0; at < length;) {
        std::int32_t next = at;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (c >= 0 && u_isUWhiteSpace(c)) {
            pendingSpace = !out.empty();
        } else {
            if (pendingSpace) out += ' ';
            pendingSpace = false;
            out.append(text, static_cast<size_t>(at), static_cast<size_t>(next - at));
        }
        at = next;
    }
    return out;
}

}  // namespace

std::string RSSParser::standInTitle(const std::string& content, Date date) {
    std::string text = collapsedWhiteSpace(decodingHTMLEntities(strippingHTML(content, false)));
    if (text.empty()) {
        std::time_t seconds = std::chrono::system_clock::to_time_t(date);
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        char formatted[32];
        std::strftime(formatted, sizeof formatted, "%d %b %Y, %H:%M", &utc);
        return formatted;
    }
    // Count characters, not bytes, and cut after the last whole word.
    size_t characters = 0, at = 0, lastSpace = std::string::npos;
    while (at < text.size() && characters < kStandInTitleLength) {
        if (text[at] == ' ') lastSpace = at;
        do ++at;  // to the next character's first byte
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80);
        ++characters;
    }
    if (at >= text.size()) return text;
    size_t cut = (lastSpace != std::string::npos && lastSpace > kStandInTitleLength / 3) ? lastSpace : at;
    std::string title = text.substr(0, std::min(cut, text.size()));
    while (!title.empty() && (title.back() == ' ' || title.back() == ',' || title.back() == ';')) title.pop_back();
    return title + "\u2026";
}

std::string RSSParser::normalizedLink(const std::string& link) {
    std::string result = trimmingWhitespace(link);
    if (result.rfind("//", 0) == 0) result.insert(0, "http:");
    return result;
}

std::optional<RSSFeed> RSSParser::map(const feedkit::RSSFeed& feed, const std::string& documentURL) {
    auto name = feedName(first({feed.title, feed.dublinCore ? feed.dublinCore->dcTitle : std::nullopt}), feed.link,
                         documentURL);
    if (!name) return std::nullopt;
    auto categories = tagSet(feed.categories, [](const feedkit::RSSFeedCategory& c) { return c.value; });
    std::string site = siteAddress(feed.link, documentURL);
    return RSSFeed{*name, mapAll(feed.items, feed, site, mapItem), normalized(feed.link), std::move(categories)};
}

std::optional<RSSFeed> RSSParser::map(const feedkit::AtomFeed& feed, const std::string& documentURL) {
    auto link = normalized(chosenHref(feed.links));
    auto name = feedName(feed.title, link, documentURL);
    if (!name) return std::nullopt;
    auto categories = tagSet(feed.categories, [](const feedkit::AtomFeedCategory& c) {
        return c.attributes ? c.attributes->term : std::nullopt;
    });
    std::string site = siteAddress(link, documentURL);
    return RSSFeed{*name, mapAll(feed.entries, feed, site, mapEntry), link, std::move(categories)};
}

std::optional<RSSFeed> RSSParser::map(const feedkit::JSONFeed& feed, const std::string& documentURL) {
    auto link = normalized(feed.homePageURL ? feed.homePageURL : feed.feedUrl);
    auto name = feedName(feed.title, feed.homePageURL, documentURL);
    if (!name) return std::nullopt;
    std::string site = siteAddress(link, documentURL);
    return RSSFeed{*name, mapAll(feed.items, feed, site, mapJSONItem), link, std::nullopt};
}

void RSSParser::parse(const feedkit::Result& result, const Completion& completion, const std::string& documentURL) {
    if (!result.isSuccess()) {
        completion(std::nullopt, result.error());
        return;
    }
    for (const auto& notice : result.notices()) Logger::warning([&] { return notice; });
    std::optional<RSSFeed> feed;
    if (const auto* rss = result.rssFeed()) feed = map(*rss, documentURL);
    if (const auto* atom = result.atomFeed()) feed = map(*atom, documentURL);
    if (const auto* json = result.jsonFeed()) feed = map(*json, documentURL);
    completion(std::move(feed), result.error());
}

dispatch::SerialQueue& RSSParser::parseQueue() {
    // Deliberately never destroyed: parses may still be queued while the process ends.
    static dispatch::SerialQueue* queue =
        makeDispatchQueue("rss_parser_parse_queue", QualityOfService::utility).release();
    return *queue;
}

}  // namespace tallowmere
