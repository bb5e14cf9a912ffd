#include "platform/feedkit/AtomReader.h"

#include <libxml/xmlstring.h>
#include "platform/feedkit/FeedNamespaces.h"

namespace tallowmere::feedkit {
namespace {

bool isKnownAtom(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE && XmlText::inNamespace(node, {ns::atom10, ns::atom03}, true);
}

// A default namespace (no prefix) that is not one of the other feed formats'.
bool isForeignDefaultNamespace(const xmlNode* node) {
    return node->ns && !node->ns->prefix && node->ns->href &&
           !XmlText::inNamespace(node, {ns::rss10, ns::rss090, ns::rdf, ns::xhtml, ns::rssUserland,
                                        ns::rssUserlandOld});
}

// Content that is neither text nor XML (an image, a PDF) comes base64-encoded.
bool isBase64(const std::optional<std::string>& type, const std::optional<std::string>& mode) {
    if (mode) return *mode == "base64";
    if (!type || type->empty()) return false;
    const std::string& t = *type;
    if (t == "text" || t == "html" || t == "xhtml") return false;
    if (t.rfind("text/", 0) == 0) return false;
    if (t.size() >= 4 && (t.compare(t.size() - 4, 4, "+xml") == 0 || t.compare(t.size() - 4, 4, "/xml") == 0))
        return false;
    return t.find('/') != std::string::npos;
}

std::string decodedBase64(std::string_view text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+' || c == '-') return 62;
        if (c == '/' || c == '_') return 63;
        return -1;
    };
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        int v = value(c);
        if (v < 0) continue;  // line breaks and spaces between the groups
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

template <typename T>
void append(std::optional<std::vector<T>>& list, T value) {
    if (!list) list.emplace();
    list->push_back(std::move(value));
}

// The single xhtml <div> that wraps xhtml content, or nullptr.
const xmlNode* xhtmlWrapper(const xmlNode* element) {
    const xmlNode* wrapper = nullptr;
    for (const xmlNode* child = element->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        if (wrapper) return nullptr;
        wrapper = child;
    }
    if (wrapper && XmlText::named(wrapper, "div") && XmlText::inNamespace(wrapper, {ns::xhtml}))
        return wrapper;
    return nullptr;
}

}  // namespace

bool AtomReader::isRoot(const xmlNode* root) {
    return XmlText::named(root, "feed") && (isKnownAtom(root) || isForeignDefaultNamespace(root));
}

bool AtomReader::isAtom(const xmlNode* node) const {
    if (isKnownAtom(node)) return true;
    return node->type == XML_ELEMENT_NODE && rootNamespace_ && node->ns && node->ns->href &&
           xmlStrEqual(node->ns->href, rootNamespace_->href);
}

bool AtomReader::isAtom(const xmlNode* node, const char* name) const {
    return isAtom(node) && XmlText::named(node, name);
}

AtomFeed AtomReader::read(const xmlNode* root) {
    if (!isKnownAtom(root)) rootNamespace_ = root->ns;
    AtomFeed feed;
    for (const xmlNode* child = root->children; child; child = child->next) {
        if (!isAtom(child)) continue;
        if (XmlText::named(child, "entry")) {
            append(feed.entries, readEntry(child));
        } else if (XmlText::named(child, "title")) {
            if (!feed.title) feed.title = readTitle(child);
        } else if (XmlText::named(child, "subtitle") || XmlText::named(child, "tagline")) {
            if (!feed.subtitle) feed.subtitle = readText(child).value;
        } else if (XmlText::named(child, "link")) {
            append(feed.links, readLink(child));
        } else if (XmlText::named(child, "updated") || XmlText::named(child, "modified")) {
            if (!feed.updated) feed.updated = text_.date(child);
        } else if (XmlText::named(child, "category")) {
            append(feed.categories, readCategory(child));
        } else if (XmlText::named(child, "author")) {
            append(feed.authors, readAuthor(child));
        }
    }
    return feed;
}

AtomFeedEntry AtomReader::readEntry(const xmlNode* entry) {
    AtomFeedEntry result;
    for (const xmlNode* child = entry->children; child; child = child->next) {
        if (!isAtom(child)) continue;
        if (XmlText::named(child, "title")) {
            if (!result.title) result.title = readTitle(child);
        } else if (XmlText::named(child, "id")) {
            if (!result.id) result.id = text_.content(child);
        } else if (XmlText::named(child, "link")) {
            append(result.links, readLink(child));
        } else if (XmlText::named(child, "content")) {
            if (!result.content) result.content = readText(child);
        } else if (XmlText::named(child, "summary")) {
            if (!result.summary) result.summary = readText(child);
        } else if (XmlText::named(child, "updated") || XmlText::named(child, "modified")) {
            if (!result.updated) result.updated = text_.date(child);
        } else if (XmlText::named(child, "published") || XmlText::named(child, "issued")) {
            if (!result.published) result.published = text_.date(child);
        } else if (XmlText::named(child, "category")) {
            append(result.categories, readCategory(child));
        } else if (XmlText::named(child, "author")) {
            append(result.authors, readAuthor(child));
        }
    }
    return result;
}

// Atom text constructs: "text" and "html" hold characters, "xhtml" holds markup
// inside one xhtml <div> that is not part of the value. Atom 0.3 says the same
// with mode="xml".
AtomText AtomReader::readText(const xmlNode* element) {
    AtomText result;
    result.type = text_.attribute(element, "type");
    auto mode = text_.attribute(element, "mode");
    bool markup = (result.type && *result.type == "xhtml") || (mode && *mode == "xml");
    if (!element->children && text_.attribute(element, "src")) return result;  // content elsewhere
    if (markup) {
        const xmlNode* wrapper = xhtmlWrapper(element);
        result.value = text_.innerMarkup(wrapper ? wrapper : element);
    } else if (isBase64(result.type, mode)) {
        result.value = decodedBase64(text_.content(element));
    } else {
        result.value = text_.content(element);
    }
    return result;
}

// A title is plain text whatever its type: markup, escaped or not, is left out.
std::string AtomReader::readTitle(const xmlNode* element) {
    auto type = text_.attribute(element, "type");
    if (type && *type == "xhtml") {
        const xmlNode* wrapper = xhtmlWrapper(element);
        return text_.plainText(wrapper ? wrapper : element);
    }
    return text_.plainText(element);
}

AtomFeedLink AtomReader::readLink(const xmlNode* element) {
    AtomFeedLink link;
    // Some feeds write the address as the element's text instead of in href.
    std::optional<std::string> href = text_.attribute(element, "href");
    if (!href) {
        std::string written = text_.content(element);
        if (written.find_first_not_of(" \t\r\n") != std::string::npos) href = std::move(written);
    }
    if (!element->properties && !href) return link;
    AtomFeedLink::Attributes attributes;
    if (href) attributes.href = XmlText::resolved(element, std::move(*href));
    attributes.rel = text_.attribute(element, "rel");
    attributes.type = text_.attribute(element, "type");
    attributes.title = text_.attribute(element, "title");
    link.attributes = std::move(attributes);
    return link;
}

AtomFeedCategory AtomReader::readCategory(const xmlNode* element) {
    AtomFeedCategory category;
    if (!element->properties) return category;
    AtomFeedCategory::Attributes attributes;
    attributes.term = text_.attribute(element, "term");
    attributes.scheme = text_.attribute(element, "scheme");
    attributes.label = text_.attribute(element, "label");
    category.attributes = std::move(attributes);
    return category;
}

AtomFeedEntryAuthor AtomReader::readAuthor(const xmlNode* element) {
    AtomFeedEntryAuthor author;
    for (const xmlNode* child = element->children; child; child = child->next) {
        if (!isAtom(child)) continue;
        if (XmlText::named(child, "name")) {
            if (!author.name) author.name = text_.content(child);
        } else if (XmlText::named(child, "email")) {
            if (!author.email) author.email = text_.content(child);
        } else if (XmlText::named(child, "uri") || XmlText::named(child, "url")) {
            if (!author.uri) author.uri = text_.content(child);
        }
    }
    return author;
}

}  // namespace tallowmere::feedkit
