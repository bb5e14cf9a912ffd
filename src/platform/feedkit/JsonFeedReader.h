#pragma once

#include <string_view>
#include <variant>

#include "platform/feedkit/FeedError.h"
#include "platform/feedkit/JSONFeed.h"

namespace tallowmere::feedkit {

// Reads JSON Feed 1.0 and 1.1. Fields of the wrong JSON type count as absent.
class JsonFeedReader {
public:
    static std::variant<JSONFeed, FeedError> read(std::string_view bytes);
};

}  // namespace tallowmere::feedkit
