#pragma once

#include <vector>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"
#include "service/TallowmereDiscoverySection.h"

namespace tallowmere {

// The backend's discovery catalogue, the reply to a discovery request.
struct TallowmereDiscovery {
    std::vector<TallowmereDiscoverySection> sections;

    // Reads "sections" (an array, required); one unreadable section fails the catalogue.
    static JSONCodingResult<TallowmereDiscovery> decode(const nlohmann::json& value);
};

}  // namespace tallowmere
