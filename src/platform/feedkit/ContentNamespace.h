#pragma once

#include <optional>
#include <string>

namespace tallowmere::feedkit {

// The content module's encoded body of an item.
struct ContentNamespace {
    std::optional<std::string> contentEncoded;
};

}  // namespace tallowmere::feedkit
