#pragma once

#include <libxml/tree.h>

#include <cstddef>
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
};

}  // namespace tallowmere::feedkit
