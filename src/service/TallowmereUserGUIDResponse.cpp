#include "service/TallowmereUserGUIDResponse.h"

#include "service/JSONCoding.h"

namespace tallowmere {

JSONCodingResult<TallowmereUserGUIDResponse> TallowmereUserGUIDResponse::decode(const nlohmann::json& value) {
    if (auto error = JSONCoding::expectObject(value, "the user reply")) return *error;
    auto guid = JSONCoding::optionalString(value, "guid");
    if (!guid.ok()) return guid.error();
    auto email = JSONCoding::optionalString(value, "email");
    if (!email.ok()) return email.error();
    return TallowmereUserGUIDResponse{std::move(guid).value(), std::move(email).value()};
}

}  // namespace tallowmere
