#pragma once

#include <functional>
#include <optional>
#include <string>

#include "feeds/RSSFeed.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/feedkit/Result.h"

namespace tallowmere {

// Turns what the feed parser read (an RSS, Atom or JSON feed, or a failure)
// into the uniform RSSFeed, and owns the queue on which documents are parsed.
class RSSParser {
public:
    using Completion = std::function<void(std::optional<RSSFeed>, std::optional<feedkit::FeedError>)>;

    RSSParser() = delete;

    // Calls `completion` once, before returning, on the calling thread.
    // `documentURL` is where the document was read from; a feed without a
    // title is named after its site's host, else that URL's host, and gives
    // neither a feed nor an error only when neither is known. What the parser
    // noted about the document (items cut, unknown zones) is logged.
    static void parse(const feedkit::Result& result, const Completion& completion,
                      const std::string& documentURL = {});

    // "rss_parser_parse_queue", made on first use and kept for the process.
    static dispatch::SerialQueue& parseQueue();

    // The mappings, one per format.
    static std::optional<RSSFeed> map(const feedkit::RSSFeed& feed, const std::string& documentURL = {});
    static std::optional<RSSFeed> map(const feedkit::AtomFeed& feed, const std::string& documentURL = {});
    static std::optional<RSSFeed> map(const feedkit::JSONFeed& feed, const std::string& documentURL = {});

    // The title of an item that has none: the first words of its text (about
    // 60 characters, markup left out), else its date.
    static std::string standInTitle(const std::string& content, RemoteArticle::Date date);

    // Trims white space and newlines and puts "http:" before a leading "//".
    static std::string normalizedLink(const std::string& link);
};

}  // namespace tallowmere
