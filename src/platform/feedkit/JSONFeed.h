#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::feedkit {

// JSON Feed 1.0 and 1.1 as read from the document. Plain data, grouped here
// because the types only make sense together.

struct JSONFeedAuthor {
    std::optional<std::string> name;
    std::optional<std::string> url;
    std::optional<std::string> avatar;
};

// `author` is the 1.0 field; a 1.1 document names its authors in `authors`, and
// then `author` carries the first of them, so readers of either version agree.
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
