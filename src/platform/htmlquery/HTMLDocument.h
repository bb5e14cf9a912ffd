#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include <libxml/tree.h>

#include "platform/htmlquery/HTMLNode.h"

namespace tallowmere::htmlquery {

// An HTML page or fragment parsed leniently (malformed markup is repaired), to
// be searched with XPath 1.0. Parsing never touches the network.
class HTMLDocument {
public:
    // A document, or nothing when the bytes give no document at all.
    static std::optional<HTMLDocument> parse(std::span<const std::uint8_t> bytes);
    static std::optional<HTMLDocument> parse(std::string_view bytes);

    // The matching nodes in document order, or nothing when the expression is
    // invalid or does not select nodes.
    std::optional<std::vector<HTMLNode>> xPath(std::string_view expression) const;

private:
    explicit HTMLDocument(std::shared_ptr<xmlDoc> document) : document_(std::move(document)) {}

    std::shared_ptr<xmlDoc> document_;
};

}  // namespace tallowmere::htmlquery
