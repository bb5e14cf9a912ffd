#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/feedkit/JSONFeedAuthor.h"
#include "platform/feedkit/JSONFeedItem.h"

namespace tallowmere::feedkit {

// A JSON Feed 1.0 or 1.1 document. Fields of the wrong JSON type count as absent;
// `author` carries the first of 1.1's `authors` when the 1.0 field is missing.
struct JSONFeed {
    std::optional<std::string> version;
    std::optional<std::string> title;
    std::optional<std::string> homePageURL;
    std::optional<std::string> feedUrl;
    std::optional<std::string> description;
    std::optional<JSONFeedAuthor> author;
    std::optional<std::vector<JSONFeedAuthor>> authors;
    std::optional<std::vector<JSONFeedItem>> items;
};

}  // namespace tallowmere::feedkit
