#pragma once

#include <optional>
#include <string>
#include <variant>

#include "feeds/WebServiceError.h"
#include "platform/http/HTTPError.h"

namespace tallowmere {

// The error a request completion receives: an HTTP status the layer refuses,
// or a transport failure passed on unchanged (cancellation, time-out, ...).
class WebServiceFailure {
public:
    WebServiceFailure(WebServiceError error) : error_(error) {}
    WebServiceFailure(http::HTTPError error) : error_(std::move(error)) {}

    const WebServiceError* webServiceError() const { return std::get_if<WebServiceError>(&error_); }
    const http::HTTPError* transportError() const { return std::get_if<http::HTTPError>(&error_); }
    // The refused status, when the failure is one.
    std::optional<int> statusCode() const;
    bool isCancelled() const;
    std::string description() const;

private:
    std::variant<WebServiceError, http::HTTPError> error_;
};

}  // namespace tallowmere
