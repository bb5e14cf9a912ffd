#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "platform/feedkit/FeedError.h"
#include "platform/feedkit/JSONFeed.h"

namespace tallowmere::feedkit {

// Reads JSON Feed 1.0 and 1.1. Fields of the wrong JSON type count as absent.
class JsonFeedReader {
public:
    // Addresses are made absolute against `documentURL` when it is given;
    // items beyond `itemLimit` are skipped unread (`itemsCut` then says so).
    static std::variant<JSONFeed, FeedError> read(std::string_view bytes, const std::string& documentURL = {},
                                                  size_t itemLimit = SIZE_MAX, bool* itemsCut = nullptr);
};

}  // namespace tallowmere::feedkit
