#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/http/HTTPRequest.h"

namespace tallowmere::http {

// Status and header fields of the final response of a request (after redirects).
class HTTPResponse {
public:
    HTTPResponse() = default;
    HTTPResponse(int statusCode, HeaderList headers, std::string url)
        : statusCode_(statusCode), headers_(std::move(headers)), url_(std::move(url)) {}

    int statusCode() const { return statusCode_; }
    const HeaderList& headers() const { return headers_; }
    // The address that answered, after redirects.
    const std::string& url() const { return url_; }
    // Header names are case-insensitive on the wire ("ETag", "Etag", "etag");
    // the first field of that name wins.
    std::optional<std::string> header(std::string_view name) const;

private:
    int statusCode_ = 0;
    HeaderList headers_;
    std::string url_;
};

}  // namespace tallowmere::http
