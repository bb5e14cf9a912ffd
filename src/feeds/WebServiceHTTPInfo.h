#pragma once

#include <optional>
#include <string>

namespace tallowmere {

// The caching values of a response, sent back on the next conditional request.
struct WebServiceHTTPInfo {
    std::optional<std::string> lastModified;  // "Last-Modified", sent back as "If-Modified-Since"
    std::optional<std::string> eTag;          // "ETag", sent back as "If-None-Match"
    // The status of the answer the values came with; never sent.
    std::optional<int> statusCode = std::nullopt;
    // Where the answer came from after redirects, and its "Content-Type"; never sent.
    std::optional<std::string> url = std::nullopt;
    std::optional<std::string> contentType = std::nullopt;

    // The server answered a conditional request with 304: the copy the caller
    // holds is current and there is no body to read.
    bool isNotModified() const { return statusCode == 304; }

    // Equal caching values and status; where the answer came from does not count.
    bool operator==(const WebServiceHTTPInfo& other) const {
        return lastModified == other.lastModified && eTag == other.eTag && statusCode == other.statusCode;
    }
};

}  // namespace tallowmere
