#include "service/TallowmereUserGUIDRequest.h"

namespace tallowmere {

JSONCodingResult<nlohmann::json> TallowmereUserGUIDRequest::encode() const {
    nlohmann::json body = nlohmann::json::object();
    body["guid"] = guid;
    if (email) body["email"] = *email;
    if (verify) body["verify"] = *verify ? 1 : 0;
    if (delete_) body["delete"] = *delete_ ? 1 : 0;
    return body;
}

}  // namespace tallowmere
