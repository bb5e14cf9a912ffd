#pragma once

#include <libxml/tree.h>

#include <memory>
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

    static std::variant<XmlDocument, FeedError> load(std::string_view bytes, Mode mode);

    xmlDoc* get() const { return doc_.get(); }
    xmlNode* root() const { return xmlDocGetRootElement(doc_.get()); }

private:
    struct Free {
        void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
    };
    explicit XmlDocument(xmlDoc* doc) : doc_(doc) {}

    std::unique_ptr<xmlDoc, Free> doc_;
};

}  // namespace tallowmere::feedkit
