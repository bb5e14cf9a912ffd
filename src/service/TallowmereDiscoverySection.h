#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"
#include "service/TallowmereDiscoveryNode.h"

namespace tallowmere {

// A named group of entries of the discovery catalogue.
struct TallowmereDiscoverySection {
    std::optional<std::string> name;
    std::vector<TallowmereDiscoveryNode> nodes;

    // Reads "name" (a string, null or missing) and "objects" (an array of
    // nodes, required); one unreadable node fails the section.
    static JSONCodingResult<TallowmereDiscoverySection> decode(const nlohmann::json& value);
};

}  // namespace tallowmere
