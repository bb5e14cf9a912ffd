#pragma once

#include <libxml/tree.h>

#include <string_view>

namespace tallowmere::readability {

// Element names and attributes of the parsed page (libxml2 lower-cases HTML
// names), read without copying.
class HtmlNames {
public:
    static bool isElement(const xmlNode* node) { return node != nullptr && node->type == XML_ELEMENT_NODE; }
    static std::string_view name(const xmlNode* node);
    static bool is(const xmlNode* node, std::string_view name);
    // Elements that start a new block of text.
    static bool isBlock(const xmlNode* node);
    static bool isHeading(const xmlNode* node);
    // The value of an attribute (empty when absent), name compared ignoring case.
    static std::string_view attribute(const xmlNode* node, std::string_view name);
    static bool hasAttribute(const xmlNode* node, std::string_view name);
    // Next node of a depth-first walk of the tree under `top` that does not go
    // below `node`; nothing at the end. Iterative, so depth is no danger.
    static xmlNodePtr nextSkippingChildren(xmlNodePtr node, const xmlNode* top);
    // Next node of a depth-first walk under `top`, entering `node`'s children.
    static xmlNodePtr next(xmlNodePtr node, const xmlNode* top);
    static bool isAncestor(const xmlNode* ancestor, const xmlNode* node);
};

}  // namespace tallowmere::readability
