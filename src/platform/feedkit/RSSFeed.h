#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/feedkit/ContentNamespace.h"
#include "platform/feedkit/DublinCoreNamespace.h"

namespace tallowmere::feedkit {

// The RSS family (0.90, 0.91, 0.92, 1.0 as RDF, 2.0) as read from the document.
// Plain data, grouped here because the types only make sense together.

struct RSSFeedItemGUID {
    std::optional<std::string> value;
    std::optional<bool> isPermaLink;
};

struct RSSFeedCategory {
    std::optional<std::string> value;
    std::optional<std::string> domain;
};

using RSSFeedItemCategory = RSSFeedCategory;

struct RSSFeedItem {
    std::optional<std::string> title;
    std::optional<std::string> link;
    std::optional<std::string> description;
    std::optional<RSSFeedItemGUID> guid;
    std::optional<std::chrono::system_clock::time_point> pubDate;
    std::optional<std::vector<RSSFeedItemCategory>> categories;
    std::optional<ContentNamespace> content;
    std::optional<DublinCoreNamespace> dublinCore;
};

struct RSSFeed {
    std::optional<std::string> title;
    std::optional<std::string> link;
    std::optional<std::string> description;
    std::optional<std::chrono::system_clock::time_point> pubDate;
    std::optional<std::chrono::system_clock::time_point> lastBuildDate;
    std::optional<std::vector<RSSFeedCategory>> categories;
    std::optional<DublinCoreNamespace> dublinCore;
    std::optional<std::vector<RSSFeedItem>> items;
};

}  // namespace tallowmere::feedkit
