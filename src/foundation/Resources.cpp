#include "foundation/Resources.h"

#include <cstddef>
#include <utility>

namespace tallowmere::resources_detail {
extern const std::pair<std::string_view, std::string_view> kTable[];
extern const std::size_t kTableSize;
}  // namespace tallowmere::resources_detail

namespace tallowmere {

std::optional<std::string_view> Resources::data(std::string_view path) {
    using namespace resources_detail;
    for (std::size_t i = 0; i < kTableSize; ++i) {
        if (kTable[i].first == path) return kTable[i].second;
    }
    return std::nullopt;
}

std::vector<std::string_view> Resources::paths(std::string_view prefix) {
    using namespace resources_detail;
    std::vector<std::string_view> result;
    for (std::size_t i = 0; i < kTableSize; ++i) {
        if (kTable[i].first.starts_with(prefix)) result.push_back(kTable[i].first);
    }
    return result;
}

}  // namespace tallowmere
