#include "platform/http/HTTPResponse.h"

#include <strings.h>

namespace tallowmere::http {

std::optional<std::string> HTTPResponse::header(std::string_view name) const {
    for (const auto& [fieldName, value] : headers_) {
        if (fieldName.size() == name.size() && strncasecmp(fieldName.data(), name.data(), name.size()) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace tallowmere::http
