#include "platform/feedkit/Result.h"

namespace tallowmere::feedkit {

Result Result::atom(AtomFeed feed) { return Result(Value(std::in_place_type<AtomFeed>, std::move(feed))); }
Result Result::rss(RSSFeed feed) { return Result(Value(std::in_place_type<RSSFeed>, std::move(feed))); }
Result Result::json(JSONFeed feed) { return Result(Value(std::in_place_type<JSONFeed>, std::move(feed))); }
Result Result::failure(FeedError error) {
    return Result(Value(std::in_place_type<FeedError>, std::move(error)));
}

std::optional<FeedError> Result::error() const {
    if (const auto* failure = std::get_if<FeedError>(&value_)) return *failure;
    return std::nullopt;
}

}  // namespace tallowmere::feedkit
