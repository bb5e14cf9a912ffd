#include "feeds/WebServiceFailure.h"

namespace tallowmere {

std::optional<int> WebServiceFailure::statusCode() const {
    if (const auto* error = webServiceError()) return error->statusCode();
    return std::nullopt;
}

bool WebServiceFailure::isCancelled() const {
    const auto* error = transportError();
    return error && error->isCancelled();
}

std::string WebServiceFailure::description() const {
    if (const auto* error = webServiceError()) return error->description();
    return transportError()->description();
}

}  // namespace tallowmere
