#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tallowmere {

// How prominently a feed or folder sorts in the sidebar.
enum class NodePriority : std::int16_t {
    low = -1,
    medium = 0,
    high = 1,
};

constexpr std::optional<NodePriority> nodePriorityFromRaw(std::int64_t raw) {
    if (raw < -1 || raw > 1) return std::nullopt;
    return static_cast<NodePriority>(raw);
}

constexpr std::int16_t rawValue(NodePriority priority) { return static_cast<std::int16_t>(priority); }

constexpr std::string_view toString(NodePriority priority) {
    switch (priority) {
        case NodePriority::low:
            return "low";
        case NodePriority::medium:
            return "medium";
        case NodePriority::high:
            return "high";
    }
    return "medium";
}

}  // namespace tallowmere
