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

    // Calls `completion` once, before returning, on the calling thread. A
    // document without a feed title gives neither a feed nor an error.
    static void parse(const feedkit::Result& result, const Completion& completion);

    // "rss_parser_parse_queue", made on first use and kept for the process.
    static dispatch::SerialQueue& parseQueue();

    // The mappings, one per format.
    static std::optional<RSSFeed> map(const feedkit::RSSFeed& feed);
    static std::optional<RSSFeed> map(const feedkit::AtomFeed& feed);
    static std::optional<RSSFeed> map(const feedkit::JSONFeed& feed);

    // Trims white space and newlines and puts "http:" before a leading "//".
    static std::string normalizedLink(const std::string& link);
};

}  // namespace tallowmere
