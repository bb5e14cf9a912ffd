#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/feedkit/AtomFeedCategory.h"
#include "platform/feedkit/AtomFeedEntry.h"
#include "platform/feedkit/AtomFeedEntryAuthor.h"
#include "platform/feedkit/AtomFeedLink.h"

namespace tallowmere::feedkit {

// An Atom 1.0 or 0.3 feed as read from the document. Entries in document order.
struct AtomFeed {
    std::optional<std::string> title;
    std::optional<std::string> subtitle;
    std::optional<std::vector<AtomFeedLink>> links;
    std::optional<std::chrono::system_clock::time_point> updated;
    std::optional<std::vector<AtomFeedCategory>> categories;
    std::optional<std::vector<AtomFeedEntryAuthor>> authors;
    std::optional<std::vector<AtomFeedEntry>> entries;
};

}  // namespace tallowmere::feedkit
