#include "feeds/WebServiceError.h"

namespace tallowmere {

std::string WebServiceError::description() const { return "HTTP error, status code: " + std::to_string(statusCode_); }

}  // namespace tallowmere
