#pragma once

#include <libxml/tree.h>

#include "platform/feedkit/AtomFeed.h"
#include "platform/feedkit/XmlText.h"

namespace tallowmere::feedkit {

// Builds an Atom feed (1.0, or 0.3 with its older element names) from a parsed
// document whose root is <feed>.
class AtomReader {
public:
    explicit AtomReader(XmlText& text) : text_(text) {}

    // <feed> in the Atom namespaces, in none, or in a default namespace of its
    // own (an Atom-shaped document that names a namespace nobody knows).
    static bool isRoot(const xmlNode* root);
    AtomFeed read(const xmlNode* root);

private:
    AtomFeedEntry readEntry(const xmlNode* entry);
    bool isAtom(const xmlNode* node) const;
    bool isAtom(const xmlNode* node, const char* name) const;
    AtomText readText(const xmlNode* element);
    std::string readTitle(const xmlNode* element);
    AtomFeedLink readLink(const xmlNode* element);
    AtomFeedCategory readCategory(const xmlNode* element);
    AtomFeedEntryAuthor readAuthor(const xmlNode* element);

    XmlText& text_;
    // The namespace of the root, taken as Atom's own when it is none of Atom's.
    const xmlNs* rootNamespace_ = nullptr;
};

}  // namespace tallowmere::feedkit
