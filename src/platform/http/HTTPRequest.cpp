#include "platform/http/HTTPRequest.h"

#include <algorithm>
#include <strings.h>

namespace tallowmere::http {

void HTTPRequest::setHeader(const std::string& name, const std::string& value) {
    std::erase_if(headers, [&](const auto& header) { return strcasecmp(header.first.c_str(), name.c_str()) == 0; });
    headers.emplace_back(name, value);
}

}  // namespace tallowmere::http
