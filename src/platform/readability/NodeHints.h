#pragma once

#include <libxml/tree.h>

namespace tallowmere::readability {

// What an element's class, id and role say about it: part of the article
// ("article-body", "post", "entry-content") or page furniture ("sidebar",
// "comments", "share-bar", "ad-slot", "related").
class NodeHints {
public:
    // +25 for a content hint, -25 for a furniture hint (both may apply), and
    // +25 more for a schema.org article body.
    static int weight(const xmlNode* element);
    // A furniture hint on anything but the page's declared main part.
    static bool isUnlikelyContent(const xmlNode* element);
    // A reader-comment section by its class or id.
    static bool isComments(const xmlNode* element);
    // Hidden by an attribute (hidden, aria-hidden) or an inline style.
    static bool isHidden(const xmlNode* element);
    // Decoration rather than a picture of the article (avatars, icons, emoji).
    static bool isDecorativeImage(const xmlNode* element);
};

}  // namespace tallowmere::readability
