#pragma once

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <memory>
#include <string_view>

namespace tallowmere::readability {

// A page parsed by libxml2's forgiving HTML parser, in the page's own
// encoding, with network access and error output off.
class HtmlDocument {
public:
    // Nothing for bytes that are plainly not text (binary data) or that the
    // parser makes no document of.
    static std::unique_ptr<HtmlDocument> parse(std::string_view page, std::string_view pageURL);

    ~HtmlDocument();
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;

    xmlDocPtr document() const { return document_; }
    xmlNodePtr root() const;
    // The <body> element, or the root when the page has none.
    xmlNodePtr body() const;

    // Control bytes that never occur in a text document.
    static bool looksBinary(std::string_view page);

private:
    explicit HtmlDocument(xmlDocPtr document) : document_(document) {}

    xmlDocPtr document_;
};

}  // namespace tallowmere::readability
