#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tallowmere::feedkit {

// The Dublin Core elements read from a channel or an item.
struct DublinCoreNamespace {
    std::optional<std::chrono::system_clock::time_point> dcDate;
    std::optional<std::string> dcCreator;
};

}  // namespace tallowmere::feedkit
