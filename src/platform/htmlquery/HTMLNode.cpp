#include "platform/htmlquery/HTMLNode.h"

namespace tallowmere::htmlquery {

namespace {
std::optional<std::string> takeText(xmlChar* text) {
    if (!text) return std::nullopt;
    std::string value(reinterpret_cast<const char*>(text));
    xmlFree(text);
    return value;
}
}  // namespace

std::string HTMLNode::name() const {
    return node_->name ? std::string(reinterpret_cast<const char*>(node_->name)) : std::string();
}

std::optional<std::string> HTMLNode::content() const { return takeText(xmlNodeGetContent(node_)); }

std::optional<std::string> HTMLNode::operator[](std::string_view attributeName) const {
    if (node_->type != XML_ELEMENT_NODE) return std::nullopt;
    const std::string name(attributeName);
    // Exact name match, no namespace: what the callers' expressions state.
    xmlAttrPtr attribute = xmlHasProp(node_, reinterpret_cast<const xmlChar*>(name.c_str()));
    if (!attribute || attribute->type != XML_ATTRIBUTE_NODE) return std::nullopt;
    return takeText(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute)));
}

}  // namespace tallowmere::htmlquery
