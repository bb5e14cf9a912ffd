#include "platform/readability/HtmlNames.h"

#include <strings.h>

#include <algorithm>
#include <array>

namespace tallowmere::readability {

namespace {

// Sorted, for binary search.
constexpr std::array<std::string_view, 36> blockNames{
    "address", "article", "aside", "blockquote", "center",     "dd",     "details", "dialog", "dir",
    "div",     "dl",      "dt",    "fieldset",   "figcaption", "figure", "footer",  "form",   "h1",
    "h2",      "h3",      "h4",    "h5",         "h6",         "header", "hgroup",  "hr",     "li",
    "main",    "menu",    "nav",   "ol",         "p",          "pre",    "section", "table",  "ul"};

static_assert(std::is_sorted(blockNames.begin(), blockNames.end()));

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::string_view HtmlNames::name(const xmlNode* node) {
    if (!isElement(node) || node->name == nullptr) return {};
    return reinterpret_cast<const char*>(node->name);
}

bool HtmlNames::is(const xmlNode* node, std::string_view expected) { return name(node) == expected; }

bool HtmlNames::isBlock(const xmlNode* node) {
    const std::string_view n = name(node);
    return !n.empty() && std::binary_search(blockNames.begin(), blockNames.end(), n);
}

bool HtmlNames::isHeading(const xmlNode* node) {
    const std::string_view n = name(node);
    return n.size() == 2 && n[0] == 'h' && n[1] >= '1' && n[1] <= '6';
}

std::string_view HtmlNames::attribute(const xmlNode* node, std::string_view attributeName) {
    if (!isElement(node)) return {};
    for (const xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
        if (attr->name == nullptr || !equalNoCase(reinterpret_cast<const char*>(attr->name), attributeName))
            continue;
        const xmlNode* value = attr->children;
        if (value == nullptr || value->content == nullptr) return {};
        return reinterpret_cast<const char*>(value->content);
    }
    return {};
}

bool HtmlNames::hasAttribute(const xmlNode* node, std::string_view attributeName) {
    if (!isElement(node)) return false;
    for (const xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next)
        if (attr->name != nullptr && equalNoCase(reinterpret_cast<const char*>(attr->name), attributeName))
            return true;
    return false;
}

xmlNodePtr HtmlNames::nextSkippingChildren(xmlNodePtr node, const xmlNode* top) {
    while (node != nullptr && node != top) {
        if (node->next != nullptr) return node->next;
        node = node->parent;
    }
    return nullptr;
}

xmlNodePtr HtmlNames::next(xmlNodePtr node, const xmlNode* top) {
    if (node->children != nullptr && (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE ||
                                      node->type == XML_HTML_DOCUMENT_NODE))
        return node->children;
    return nextSkippingChildren(node, top);
}

bool HtmlNames::isAncestor(const xmlNode* ancestor, const xmlNode* node) {
    for (const xmlNode* n = node ? node->parent : nullptr; n != nullptr; n = n->parent)
        if (n == ancestor) return true;
    return false;
}

}  // namespace tallowmere::readability
