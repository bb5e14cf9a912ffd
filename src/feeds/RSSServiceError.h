#pragma once

#include <optional>
#include <string>
#include <variant>

#include "feeds/WebServiceFailure.h"
#include "platform/feedkit/FeedError.h"

namespace tallowmere {

// Why a fetch gave no feed: the request failed (HTTP status, transport,
// cancellation) or the document could not be read as a feed.
class RSSServiceError {
public:
    RSSServiceError(WebServiceFailure failure) : error_(std::move(failure)) {}
    RSSServiceError(feedkit::FeedError error) : error_(std::move(error)) {}

    const WebServiceFailure* requestFailure() const { return std::get_if<WebServiceFailure>(&error_); }
    const feedkit::FeedError* feedError() const { return std::get_if<feedkit::FeedError>(&error_); }
    bool isCancelled() const;
    // The refused HTTP status, when the failure is one.
    std::optional<int> statusCode() const;
    std::string description() const;

private:
    std::variant<WebServiceFailure, feedkit::FeedError> error_;
};

}  // namespace tallowmere
