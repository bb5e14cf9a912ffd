#include "service/TallowmereDiscoverySection.h"

#include "service/JSONCoding.h"

namespace tallowmere {

JSONCodingResult<TallowmereDiscoverySection> TallowmereDiscoverySection::decode(const nlohmann::json& value) {
    if (auto error = JSONCoding::expectObject(value, "a discovery section")) return *error;
    auto name = JSONCoding::optionalString(value, "name");
    if (!name.ok()) return name.error();
    auto objects = JSONCoding::requiredArray(value, "objects");
    if (!objects.ok()) return objects.error();
    TallowmereDiscoverySection section{std::move(name).value(), {}};
    section.nodes.reserve(objects.value()->size());
    for (const auto& element : *objects.value()) {
        auto node = TallowmereDiscoveryNode::decode(element);
        if (!node.ok()) return node.error();
        section.nodes.push_back(std::move(node).value());
    }
    return section;
}

}  // namespace tallowmere
