#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallowmere::http {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A request, GET unless another method is set. An empty url stands for a
// request without an address.
struct HTTPRequest {
    std::string url;
    // Sent as written ("POST", ...).
    std::string method = "GET";
    // Sent as it stands, with its length (so any byte survives); absent for
    // none. A POST without one sends an empty body.
    std::optional<std::string> body;
    HeaderList headers;
    // Longest wait for the next byte when the session sets no time-out of its own.
    std::chrono::milliseconds timeoutInterval{60'000};
    // A tighter body limit than the session's, for callers that know what they expect.
    std::optional<std::size_t> maxBodySize;

    // Sets a header, replacing an earlier value under the same name (any letter case).
    void setHeader(const std::string& name, const std::string& value);
};

}  // namespace tallowmere::http
