#pragma once

#include <optional>
#include <string>

namespace tallowmere::feedkit {

// An author object of a JSON Feed or one of its items.
struct JSONFeedAuthor {
    std::optional<std::string> name;
    std::optional<std::string> url;
    std::optional<std::string> avatar;
};

}  // namespace tallowmere::feedkit
