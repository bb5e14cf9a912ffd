#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallowmere::http {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A GET request. An empty url stands for a request without an address.
struct HTTPRequest {
    std::string url;
    HeaderList headers;
    // Longest wait for the next byte when the session sets no time-out of its own.
    std::chrono::milliseconds timeoutInterval{60'000};
    // A tighter body limit than the session's, for callers that know what they expect.
    std::optional<std::size_t> maxBodySize;

    // Sets a header, replacing an earlier value under the same name (any letter case).
    void setHeader(const std::string& name, const std::string& value);
};

}  // namespace tallowmere::http
