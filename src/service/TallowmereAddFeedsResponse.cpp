#include "service/TallowmereAddFeedsResponse.h"

#include "service/JSONCoding.h"

namespace tallowmere {

JSONCodingResult<TallowmereAddFeedsResponse> TallowmereAddFeedsResponse::decode(const nlohmann::json& value) {
    if (auto error = JSONCoding::expectObject(value, "the add-feeds reply")) return *error;
    auto added = JSONCoding::requiredArray(value, "added");
    if (!added.ok()) return added.error();
    TallowmereAddFeedsResponse response;
    response.added.reserve(added.value()->size());
    for (const auto& element : *added.value()) {
        if (!element.is_string())
            return JSONCodingError(JSONCodingError::Kind::typeMismatch, "an element of \"added\"");
        response.added.push_back(element.get<std::string>());
    }
    return response;
}

}  // namespace tallowmere
