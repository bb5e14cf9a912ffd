#pragma once

#include <optional>
#include <string>

namespace tallowmere {

// The caching values of a response, sent back on the next conditional request.
struct WebServiceHTTPInfo {
    std::optional<std::string> lastModified;  // "Last-Modified", sent back as "If-Modified-Since"
    std::optional<std::string> eTag;          // "ETag", sent back as "If-None-Match"

    bool operator==(const WebServiceHTTPInfo&) const = default;
};

}  // namespace tallowmere
