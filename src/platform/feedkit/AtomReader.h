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

    static bool isRoot(const xmlNode* root);
    AtomFeed read(const xmlNode* root);

private:
    AtomFeedEntry readEntry(const xmlNode* entry);
    AtomText readText(const xmlNode* element);
    AtomFeedLink readLink(const xmlNode* element);
    AtomFeedCategory readCategory(const xmlNode* element);
    AtomFeedEntryAuthor readAuthor(const xmlNode* element);

    XmlText& text_;
};

}  // namespace tallowmere::feedkit
