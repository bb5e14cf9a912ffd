#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"
#include "service/TallowmereDiscoveryNode.h"

namespace tallowmere {

// The body of the discovery request: the data of the node asked about under
// "obj" (left out without a node), and the system's region and language,
// always written, as null when unknown.
struct TallowmereDiscoveryRequest {
    std::optional<TallowmereDiscoveryNode> discoveryNode;
    std::optional<std::string> systemRegionCode;
    std::optional<std::string> systemLanguageCode;

    // Fails when the node's data holds a value JSON cannot hold.
    JSONCodingResult<nlohmann::json> encode() const;
};

}  // namespace tallowmere
