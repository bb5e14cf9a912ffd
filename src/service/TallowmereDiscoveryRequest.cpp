#include "service/TallowmereDiscoveryRequest.h"

#include "service/UntypedJSONCoding.h"

namespace tallowmere {

namespace {

nlohmann::json stringOrNull(const std::optional<std::string>& text) {
    return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

}  // namespace

JSONCodingResult<nlohmann::json> TallowmereDiscoveryRequest::encode() const {
    nlohmann::json body = nlohmann::json::object();
    if (discoveryNode) {
        if (auto error = UntypedJSONCoding::encodeUntyped(body, "obj", discoveryNode->data)) return *error;
    }
    body["region_code_system"] = stringOrNull(systemRegionCode);
    body["language_code_system"] = stringOrNull(systemLanguageCode);
    return body;
}

}  // namespace tallowmere
