#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/feedkit/AtomFeedCategory.h"
#include "platform/feedkit/AtomFeedEntryAuthor.h"
#include "platform/feedkit/AtomFeedLink.h"
#include "platform/feedkit/AtomText.h"

namespace tallowmere::feedkit {

// One <entry>; Atom 0.3's <modified> and <issued> fill `updated` and `published`.
struct AtomFeedEntry {
    std::optional<std::string> title;
    std::optional<std::string> id;
    std::optional<std::vector<AtomFeedEntryLink>> links;
    std::optional<AtomFeedEntryContent> content;
    std::optional<AtomFeedEntrySummary> summary;
    std::optional<std::chrono::system_clock::time_point> updated;
    std::optional<std::chrono::system_clock::time_point> published;
    std::optional<std::vector<AtomFeedEntryCategory>> categories;
    std::optional<std::vector<AtomFeedEntryAuthor>> authors;
};

}  // namespace tallowmere::feedkit
