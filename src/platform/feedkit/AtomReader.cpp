#include "platform/feedkit/AtomReader.h"

#include "platform/feedkit/FeedDate.h"
#include "platform/feedkit/FeedNamespaces.h"

namespace tallowmere::feedkit {
namespace {

bool isAtom(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE && XmlText::inNamespace(node, {ns::atom10, ns::atom03}, true);
}

bool isAtom(const xmlNode* node, const char* name) { return isAtom(node) && XmlText::named(node, name); }

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

bool AtomReader::isRoot(const xmlNode* root) { return isAtom(root, "feed"); }

AtomFeed AtomReader::read(const xmlNode* root) {
    AtomFeed feed;
    for (const xmlNode* child = root->children; child; child = child->next) {
        if (!isAtom(child)) continue;
        if (XmlText::named(child, "entry")) {
            append(feed.entries, readEntry(child));
        } else if (XmlText::named(child, "title")) {
            if (!feed.title) feed.title = readText(child).value;
        } else if (XmlText::named(child, "subtitle") || XmlText::named(child, "tagline")) {
            if (!feed.subtitle) feed.subtitle = readText(child).value;
        } else if (XmlText::named(child, "link")) {
            append(feed.links, readLink(child));
        } else if (XmlText::named(child, "updated") || XmlText::named(child, "modified")) {
            if (!feed.updated) feed.updated = FeedDate::parse(text_.content(child));
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
            if (!result.title) result.title = readText(child).value;
        } else if (XmlText::named(child, "id")) {
            if (!result.id) result.id = text_.content(child);
        } else if (XmlText::named(child, "link")) {
            append(result.links, readLink(child));
        } else if (XmlText::named(child, "content")) {
            if (!result.content) result.content = readText(child);
        } else if (XmlText::named(child, "summary")) {
            if (!result.summary) result.summary = readText(child);
        } else if (XmlText::named(child, "updated") || XmlText::named(child, "modified")) {
            if (!result.updated) result.updated = FeedDate::parse(text_.content(child));
        } else if (XmlText::named(child, "published") || XmlText::named(child, "issued")) {
            if (!result.published) result.published = FeedDate::parse(text_.content(child));
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
    } else {
        result.value = text_.content(element);
    }
    return result;
}

AtomFeedLink AtomReader::readLink(const xmlNode* element) {
    AtomFeedLink link;
    if (!element->properties) return link;
    AtomFeedLink::Attributes attributes;
    attributes.href = text_.attribute(element, "href");
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
