#pragma once

#include <libxml/tree.h>

#include <chrono>
#include <cstddef>
#include <vector>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace tallowmere::feedkit {

// Reads text out of a parsed feed document. Entities that the document declares
// itself are expanded within a byte budget, so a small document cannot grow
// into a huge one; external entities are never read.
class XmlText {
public:
    explicit XmlText(size_t expansionBudget) : budget_(expansionBudget) {}

    // The element's text: decoded characters when it holds only text, else its
    // inner markup serialised (HTML written into a feed without escaping).
    std::string content(const xmlNode* element);
    // The inner markup of an element: its children serialised as XML.
    std::string innerMarkup(const xmlNode* element);
    // An attribute without namespace, or nothing when it is missing.
    std::optional<std::string> attribute(const xmlNode* element, const char* name);
    // The element's text as plain text, for titles: markup, comments and the
    // contents of scripts and style sheets left out, whether they come as
    // elements or as escaped markup in the text.
    std::string plainText(const xmlNode* element);
    // The element's text read as a date; a zone name that is not known is
    // noted (see `notices`).
    std::optional<std::chrono::system_clock::time_point> date(const xmlNode* element);
    // An address found at `element`, made absolute against the xml:base in
    // scope there, else the document's own URL; as written when neither is
    // known or it cannot be resolved.
    static std::string resolved(const xmlNode* element, std::string reference);
    // The same against a given base URL.
    static std::string resolved(std::string reference, const std::string& base);

    // What the document's reader should report (dates in unknown zones).
    std::vector<std::string>& notices() { return notices_; }

    // True once the expansion budget ran out; the document is then refused.
    bool exceeded() const { return exceeded_; }

    // Element tests by local name and namespace URI (any prefix).
    static bool named(const xmlNode* node, const char* localName);
    static bool inNamespace(const xmlNode* node, std::initializer_list<std::string_view> uris,
                            bool orNone = false);

private:
    void appendText(std::string& out, const xmlNode* first, int depth);
    void appendEntity(std::string& out, const xmlNode* reference, int depth);
    void charge(size_t bytes);

    size_t budget_;
    bool exceeded_ = false;
    std::vector<std::string> notices_;
};

}  // namespace tallowmere::feedkit
