#include "service/TallowmereDiscoveryNode.h"

#include "service/JSONCoding.h"
#include "service/UntypedJSONCoding.h"

namespace tallowmere {

JSONCodingResult<TallowmereDiscoveryNode> TallowmereDiscoveryNode::decode(const nlohmann::json& value) {
    if (auto error = JSONCoding::expectObject(value, "a discovery node")) return *error;
    auto name = JSONCoding::requiredString(value, "navigation_name");
    if (!name.ok()) return name.error();
    auto url = JSONCoding::optionalString(value, "navigation_url");
    if (!url.ok()) return url.error();
    auto data = JSONCoding::requiredObject(value, "obj");
    if (!data.ok()) return data.error();
    return TallowmereDiscoveryNode{std::move(name).value(), std::move(url).value(),
                                   UntypedJSONCoding::decodeUntypedDictionary(*data.value())};
}

std::optional<std::string> TallowmereDiscoveryNode::stringInData(const std::string& key) const {
    const auto found = data.find(key);
    if (found == data.end()) return std::nullopt;
    if (const auto* text = found->second.get<std::string>()) return *text;
    return std::nullopt;
}

}  // namespace tallowmere
