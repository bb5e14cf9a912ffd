#include "platform/feedkit/RssReader.h"

#include "platform/feedkit/FeedNamespaces.h"

namespace tallowmere::feedkit {
namespace {

bool isRss(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE &&
           XmlText::inNamespace(
               node, {ns::rss10, ns::rss090, ns::rss090Channel, ns::rssUserland, ns::rssUserlandOld}, true);
}

bool isRss(const xmlNode* node, const char* name) { return isRss(node) && XmlText::named(node, name); }

// An empty or blank <link> or <guid> names no address: treat it as missing so
// the next source is tried instead of keeping an item that links nowhere.
std::optional<std::string> unlessBlank(std::string text) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return std::nullopt;
    return text;
}

template <typename T>
void setOnce(std::optional<T>& field, T value) {
    if (!field) field = std::move(value);
}

}  // namespace

bool RssReader::isRoot(const xmlNode* root) {
    if (XmlText::named(root, "RDF")) return true;
    return isRss(root, "rss") || isRss(root, "channel");
}

RSSFeed RssReader::read(const xmlNode* root) {
    RSSFeed feed;
    const xmlNode* channel = XmlText::named(root, "channel") ? root : nullptr;
    for (const xmlNode* child = root->children; child && !channel; child = child->next)
        if (isRss(child, "channel")) channel = child;
    if (channel) readChannel(channel, feed);
    // RSS 0.90 and 1.0 put the items beside the channel; some 0.9x feeds do too.
    if (channel != root) {
        for (const xmlNode* child = root->children; child; child = child->next) {
            if (!isRss(child, "item")) continue;
            if (!feed.items) feed.items.emplace();
            feed.items->push_back(readItem(child));
        }
    }
    return feed;
}

void RssReader::readChannel(const xmlNode* channel, RSSFeed& feed) {
    for (const xmlNode* child = channel->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        if (readDublinCore(child, feed.dublinCore)) continue;
        if (readITunes(child, feed.iTunes)) continue;
        if (!isRss(child)) continue;
        if (XmlText::named(child, "item")) {
            if (!feed.items) feed.items.emplace();
            feed.items->push_back(readItem(child));
        } else if (XmlText::named(child, "title")) {
            setOnce(feed.title, text_.plainText(child));
        } else if (XmlText::named(child, "link")) {
            if (!feed.link) {
                if (auto link = unlessBlank(text_.content(child))) feed.link = XmlText::resolved(child, *link);
            }
        } else if (XmlText::named(child, "description")) {
            setOnce(feed.description, text_.content(child));
        } else if (XmlText::named(child, "pubDate")) {
            if (!feed.pubDate) feed.pubDate = text_.date(child);
        } else if (XmlText::named(child, "lastBuildDate")) {
            if (!feed.lastBuildDate) feed.lastBuildDate = text_.date(child);
        } else if (XmlText::named(child, "category")) {
            if (!feed.categories) feed.categories.emplace();
            feed.categories->push_back(readCategory(child));
        }
    }
}

RSSFeedItem RssReader::readItem(const xmlNode* item) {
    RSSFeedItem result;
    for (const xmlNode* child = item->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        if (readDublinCore(child, result.dublinCore)) continue;
        if (readITunes(child, result.iTunes)) continue;
        if (readMedia(child, result.media)) continue;
        if (XmlText::named(child, "body") && XmlText::inNamespace(child, {ns::xhtml})) {
            if (!result.xhtmlBody) result.xhtmlBody = text_.innerMarkup(child);
            continue;
        }
        if (XmlText::inNamespace(child, {ns::content})) {
            if (XmlText::named(child, "encoded")) {
                if (!result.content) result.content.emplace();
                setOnce(result.content->contentEncoded, text_.content(child));
            }
            continue;
        }
        if (!isRss(child)) continue;
        if (XmlText::named(child, "title")) {
            setOnce(result.title, text_.plainText(child));
        } else if (XmlText::named(child, "link")) {
            if (!result.link) {
                result.link = unlessBlank(text_.content(child));
                if (result.link) result.link = XmlText::resolved(child, *result.link);
            }
        } else if (XmlText::named(child, "author")) {
            if (!result.author) result.author = unlessBlank(text_.content(child));
        } else if (XmlText::named(child, "description")) {
            setOnce(result.description, text_.content(child));
        } else if (XmlText::named(child, "guid")) {
            if (result.guid) continue;
            RSSFeedItemGUID guid;
            guid.value = unlessBlank(text_.content(child));
            if (auto permaLink = text_.attribute(child, "isPermaLink"))
                guid.isPermaLink = *permaLink != "false";
            // A permalink is an address; other guids are names and stay as written.
            if (guid.value && guid.isPermaLink != false) guid.value = XmlText::resolved(child, *guid.value);
            result.guid = std::move(guid);
        } else if (XmlText::named(child, "pubDate")) {
            if (!result.pubDate) result.pubDate = text_.date(child);
        } else if (XmlText::named(child, "category")) {
            if (!result.categories) result.categories.emplace();
            result.categories->push_back(readCategory(child));
        }
    }
    return result;
}

bool RssReader::readDublinCore(const xmlNode* element, std::optional<DublinCoreNamespace>& dublinCore) {
    if (XmlText::inNamespace(element, {ns::dublinCoreTerms})) {
        if (XmlText::named(element, "issued") || XmlText::named(element, "created")) {
            if (!dublinCore) dublinCore.emplace();
            if (!dublinCore->dctermsIssued) dublinCore->dctermsIssued = text_.date(element);
        } else if (XmlText::named(element, "modified")) {
            if (!dublinCore) dublinCore.emplace();
            if (!dublinCore->dctermsModified) dublinCore->dctermsModified = text_.date(element);
        }
        return true;
    }
    if (!XmlText::inNamespace(element, {ns::dublinCore})) return false;
    if (!dublinCore) dublinCore.emplace();
    if (XmlText::named(element, "date")) {
        if (!dublinCore->dcDate) dublinCore->dcDate = text_.date(element);
    } else if (XmlText::named(element, "creator")) {
        setOnce(dublinCore->dcCreator, text_.content(element));
    } else if (XmlText::named(element, "title")) {
        setOnce(dublinCore->dcTitle, text_.plainText(element));
    } else if (XmlText::named(element, "description")) {
        setOnce(dublinCore->dcDescription, text_.content(element));
    } else if (XmlText::named(element, "subject")) {
        std::string subject = text_.content(element);
        if (!subject.empty()) {
            if (!dublinCore->dcSubjects) dublinCore->dcSubjects.emplace();
            dublinCore->dcSubjects->push_back(std::move(subject));
        }
    }
    return true;
}

bool RssReader::readITunes(const xmlNode* element, std::optional<ITunesNamespace>& iTunes) {
    if (!XmlText::inNamespace(element, {ns::iTunes})) return false;
    if (!iTunes) iTunes.emplace();
    if (XmlText::named(element, "author")) {
        setOnce(iTunes->author, text_.content(element));
    } else if (XmlText::named(element, "summary")) {
        setOnce(iTunes->summary, text_.content(element));
    } else if (XmlText::named(element, "category")) {
        // Categories nest: <itunes:category text="Arts"><itunes:category text="Design"/></itunes:category>.
        for (const xmlNode* category = element; category;) {
            if (auto name = text_.attribute(category, "text"); name && !name->empty()) {
                if (!iTunes->categories) iTunes->categories.emplace();
                iTunes->categories->push_back(std::move(*name));
            }
            const xmlNode* nested = nullptr;
            for (const xmlNode* child = category->children; child && !nested; child = child->next)
                if (XmlText::named(child, "category") && XmlText::inNamespace(child, {ns::iTunes})) nested = child;
            category = nested;
        }
    }
    return true;
}

bool RssReader::readMedia(const xmlNode* element, std::optional<MediaNamespace>& media) {
    if (!XmlText::inNamespace(element, {ns::mediaRSS, ns::mediaRSSOld})) return false;
    if (!media) media.emplace();
    if (XmlText::named(element, "title")) {
        setOnce(media->title, text_.plainText(element));
    } else if (XmlText::named(element, "description")) {
        setOnce(media->description, text_.content(element));
    } else if (XmlText::named(element, "category")) {
        std::string category = text_.content(element);
        if (!category.empty()) {
            if (!media->categories) media->categories.emplace();
            media->categories->push_back(std::move(category));
        }
    } else if (XmlText::named(element, "group") || XmlText::named(element, "content")) {
        for (const xmlNode* child = element->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE) readMedia(child, media);
    }
    return true;
}

RSSFeedCategory RssReader::readCategory(const xmlNode* element) {
    RSSFeedCategory category;
    std::string value = text_.content(element);
    if (!value.empty()) category.value = std::move(value);
    category.domain = text_.attribute(element, "domain");
    return category;
}

}  // namespace tallowmere::feedkit
