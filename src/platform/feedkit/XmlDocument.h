#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "platform/feedkit/FeedError.h"

namespace tallowmere::feedkit {

// A parsed XML document, read safely: no network, no external entities, no
// DTD loading, libxml2's depth and entity-amplification limits kept.
class XmlDocument {
public:
    enum class Mode {
        strict,      // any well-formedness error fails
        recovering,  // repairs stray "&" and HTML entities, then reads past small faults;
                     // a cut-off document, bad bytes or a hit limit still fail
    };

    // `bytes` must be UTF-8 (any encoding declaration is ignored). `documentURL`
    // is the base of relative addresses outside any xml:base. Reading stops
    // before the item (<item> or <entry> just below the root or the channel)
    // that would exceed `itemLimit`, so a huge feed cannot fill memory.
    static std::variant<XmlDocument, FeedError> load(std::string_view bytes, Mode mode,
                                                      const std::string& documentURL = {},
                                                      size_t itemLimit = SIZE_MAX);

    xmlDoc* get() const { return doc_.get(); }
    xmlNode* root() const { return xmlDocGetRootElement(doc_.get()); }
    // True when reading stopped at the item limit.
    bool cutAtItemLimit() const { return cut_; }

private:
    struct Free {
        void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
    };
    explicit XmlDocument(xmlDoc* doc) : doc_(doc) {}

    std::unique_ptr<xmlDoc, Free> doc_;
    bool cut_ = false;
};

}  // namespace tallowmere::feedkit
