#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"
#include "service/UntypedValue.h"

namespace tallowmere {

// One entry of the backend's discovery catalogue. Read from replies, and
// handed back (its data only) to ask for the entries below it.
class TallowmereDiscoveryNode {
public:
    std::string navigationName;
    std::optional<std::string> navigationURL;
    // The entry's free-form member "obj", read whole.
    UntypedDictionary data;

    // Reads "navigation_name" (a string), "navigation_url" (a string, null or
    // missing) and "obj" (an object, required).
    static JSONCodingResult<TallowmereDiscoveryNode> decode(const nlohmann::json& value);

    // Members of data, each only when it holds a string.
    std::optional<std::string> domain() const { return stringInData("domain"); }
    std::optional<std::string> regionCode() const { return stringInData("region_code"); }
    std::optional<std::string> title() const { return stringInData("title"); }

    // Equal by name and URL; data is not compared.
    bool operator==(const TallowmereDiscoveryNode& other) const {
        return navigationName == other.navigationName && navigationURL == other.navigationURL;
    }

private:
    std::optional<std::string> stringInData(const std::string& key) const;
};

}  // namespace tallowmere
