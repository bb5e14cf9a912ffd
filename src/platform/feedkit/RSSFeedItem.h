#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/feedkit/ContentNamespace.h"
#include "platform/feedkit/DublinCoreNamespace.h"
#include "platform/feedkit/RSSFeedCategory.h"
#include "platform/feedkit/RSSFeedItemGUID.h"

namespace tallowmere::feedkit {

// One <item> as read from the document; a blank <link> counts as missing.
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

}  // namespace tallowmere::feedkit
