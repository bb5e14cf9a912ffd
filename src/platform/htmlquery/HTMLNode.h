#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <libxml/tree.h>

namespace tallowmere::htmlquery {

// One node found by a query. It keeps its document alive, so it may outlive
// the HTMLDocument it came from.
class HTMLNode {
public:
    HTMLNode(std::shared_ptr<xmlDoc> document, xmlNodePtr node) : document_(std::move(document)), node_(node) {}

    // The element or attribute name.
    std::string name() const;
    // The text of the node: an attribute's value, an element's text content.
    std::optional<std::string> content() const;
    // The value of an element's attribute, or nothing.
    std::optional<std::string> operator[](std::string_view attributeName) const;

private:
    std::shared_ptr<xmlDoc> document_;
    xmlNodePtr node_;
};

}  // namespace tallowmere::htmlquery
