#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"

namespace tallowmere {

// The body of the add-feeds request: {"feeds": [...]}, in list order.
struct TallowmereAddFeedsRequest {
    std::vector<std::string> feeds;

    JSONCodingResult<nlohmann::json> encode() const;
};

}  // namespace tallowmere
