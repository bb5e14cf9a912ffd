#pragma once

#include <string>

namespace tallowmere {

// An answer whose status is outside 200 to 399.
class WebServiceError {
public:
    static WebServiceError http(int statusCode) { return WebServiceError(statusCode); }

    int statusCode() const { return statusCode_; }
    // "HTTP error, status code: 404"
    std::string description() const;
    bool operator==(const WebServiceError&) const = default;

private:
    explicit WebServiceError(int statusCode) : statusCode_(statusCode) {}
    int statusCode_;
};

}  // namespace tallowmere
