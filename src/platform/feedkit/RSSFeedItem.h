#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/feedkit/ContentNamespace.h"
#include "platform/feedkit/DublinCoreNamespace.h"
#include "platform/feedkit/ITunesNamespace.h"
#include "platform/feedkit/MediaNamespace.h"
#include "platform/feedkit/RSSFeedCategory.h"
#include "platform/feedkit/RSSFeedItemGUID.h"

namespace tallowmere::feedkit {

// One <item> as read from the document; a blank <link> counts as missing.
// Links and a permalink guid are absolute (resolved against xml:base or the
// document's URL) when a base is known.
struct RSSFeedItem {
    std::optional<std::string> title;
    std::optional<std::string> link;
    std::optional<std::string> description;
    std::optional<RSSFeedItemGUID> guid;
    std::optional<std::chrono::system_clock::time_point> pubDate;
    std::optional<std::vector<RSSFeedItemCategory>> categories;
    std::optional<ContentNamespace> content;
    std::optional<DublinCoreNamespace> dublinCore;
    // RSS 2.0's <author> (an e-mail address, often with the name).
    std::optional<std::string> author;
    std::optional<ITunesNamespace> iTunes;
    std::optional<MediaNamespace> media;
    // The inner markup of an XHTML <body> child, a body some feeds give instead of a description.
    std::optional<std::string> xhtmlBody;
};

}  // namespace tallowmere::feedkit
