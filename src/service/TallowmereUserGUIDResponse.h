#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"

namespace tallowmere {

// The reply to the three user requests: the GUID and the e-mail address the
// backend holds for it, each when it has one.
struct TallowmereUserGUIDResponse {
    std::optional<std::string> guid;
    std::optional<std::string> email;

    // Reads "guid" and "email": strings, null or missing.
    static JSONCodingResult<TallowmereUserGUIDResponse> decode(const nlohmann::json& value);
};

}  // namespace tallowmere
