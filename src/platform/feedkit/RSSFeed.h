#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/feedkit/DublinCoreNamespace.h"
#include "platform/feedkit/ITunesNamespace.h"
#include "platform/feedkit/RSSFeedCategory.h"
#include "platform/feedkit/RSSFeedItem.h"

namespace tallowmere::feedkit {

// A feed of the RSS family (0.90, 0.91, 0.92, 1.0 as RDF, 2.0) as read from the
// document. Items are listed in document order.
struct RSSFeed {
    std::optional<std::string> title;
    std::optional<std::string> link;
    std::optional<std::string> description;
    std::optional<std::chrono::system_clock::time_point> pubDate;
    std::optional<std::chrono::system_clock::time_point> lastBuildDate;
    std::optional<std::vector<RSSFeedCategory>> categories;
    std::optional<DublinCoreNamespace> dublinCore;
    std::optional<ITunesNamespace> iTunes;
    std::optional<std::vector<RSSFeedItem>> items;
};

}  // namespace tallowmere::feedkit
