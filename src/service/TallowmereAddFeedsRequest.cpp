#include "service/TallowmereAddFeedsRequest.h"

namespace tallowmere {

JSONCodingResult<nlohmann::json> TallowmereAddFeedsRequest::encode() const {
    nlohmann::json body = nlohmann::json::object();
    body["feeds"] = nlohmann::json::array();
    for (const std::string& feed : feeds) body["feeds"].push_back(feed);
    return body;
}

}  // namespace tallowmere
