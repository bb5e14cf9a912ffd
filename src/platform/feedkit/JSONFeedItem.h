#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/feedkit/JSONFeedAuthor.h"

namespace tallowmere::feedkit {

// One item of a JSON Feed. `author` is the 1.0 field; a 1.1 item names its
// authors in `authors`, and then `author` carries the first of them, so readers
// of either version agree.
struct JSONFeedItem {
    std::optional<std::string> id;
    std::optional<std::string> url;
    std::optional<std::string> externalUrl;
    std::optional<std::string> title;
    std::optional<std::string> contentHtml;
    std::optional<std::string> contentText;
    std::optional<std::string> summary;
    std::optional<std::chrono::system_clock::time_point> datePublished;
    std::optional<std::chrono::system_clock::time_point> dateModified;
    std::optional<JSONFeedAuthor> author;
    std::optional<std::vector<JSONFeedAuthor>> authors;
    std::optional<std::vector<std::string>> tags;
};

}  // namespace tallowmere::feedkit
