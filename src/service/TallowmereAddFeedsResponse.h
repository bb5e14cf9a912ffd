#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"

namespace tallowmere {

// The reply to the add-feeds request: the feed URLs the backend took.
struct TallowmereAddFeedsResponse {
    std::vector<std::string> added;

    // Reads "added", required: an array of strings and nothing else.
    static JSONCodingResult<TallowmereAddFeedsResponse> decode(const nlohmann::json& value);
};

}  // namespace tallowmere
