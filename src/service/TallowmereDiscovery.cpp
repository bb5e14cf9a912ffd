#include "service/TallowmereDiscovery.h"

#include "service/JSONCoding.h"

namespace tallowmere {

JSONCodingResult<TallowmereDiscovery> TallowmereDiscovery::decode(const nlohmann::json& value) {
    if (auto error = JSONCoding::expectObject(value, "the discovery catalogue")) return *error;
    auto sections = JSONCoding::requiredArray(value, "sections");
    if (!sections.ok()) return sections.error();
    TallowmereDiscovery discovery;
    discovery.sections.reserve(sections.value()->size());
    for (const auto& element : *sections.value()) {
        auto section = TallowmereDiscoverySection::decode(element);
        if (!section.ok()) return section.error();
        discovery.sections.push_back(std::move(section).value());
    }
    return discovery;
}

}  // namespace tallowmere
