#pragma once

#include <libxml/tree.h>

#include "platform/feedkit/RSSFeed.h"
#include "platform/feedkit/XmlText.h"

namespace tallowmere::feedkit {

// Builds an RSS feed from a parsed document whose root is <rss>, <rdf:RDF> or
// a bare <channel>: RSS 0.90, 0.91, 0.92, 1.0 and 2.0 with the content and
// Dublin Core modules.
class RssReader {
public:
    explicit RssReader(XmlText& text) : text_(text) {}

    static bool isRoot(const xmlNode* root);
    RSSFeed read(const xmlNode* root);

private:
    void readChannel(const xmlNode* channel, RSSFeed& feed);
    RSSFeedItem readItem(const xmlNode* item);
    bool readDublinCore(const xmlNode* element, std::optional<DublinCoreNamespace>& dublinCore);
    bool readITunes(const xmlNode* element, std::optional<ITunesNamespace>& iTunes);
    bool readMedia(const xmlNode* element, std::optional<MediaNamespace>& media);
    RSSFeedCategory readCategory(const xmlNode* element);

    XmlText& text_;
};

}  // namespace tallowmere::feedkit
