#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"

namespace tallowmere {

// The body of the three user requests. Absent fields are left out, never
// written as null; the two flags go out as the integers 1 and 0, not as
// Booleans. No flag asks for the stored address, "verify" registers it and
// "delete" removes it.
struct TallowmereUserGUIDRequest {
    std::string guid;
    std::optional<std::string> email;
    std::optional<bool> verify;
    std::optional<bool> delete_;  // "delete"; the plain name is a keyword

    JSONCodingResult<nlohmann::json> encode() const;
};

}  // namespace tallowmere
