#include "feeds/RSSServiceError.h"

namespace tallowmere {

bool RSSServiceError::isCancelled() const {
    const auto* failure = requestFailure();
    return failure && failure->isCancelled();
}

std::optional<int> RSSServiceError::statusCode() const {
    const auto* failure = requestFailure();
    return failure ? failure->statusCode() : std::nullopt;
}

std::string RSSServiceError::description() const {
    if (const auto* failure = requestFailure()) return failure->description();
    return feedError()->message;
}

}  // namespace tallowmere
