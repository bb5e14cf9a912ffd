#pragma once

#include <cstdint>
#include <optional>

namespace tallowmere {

// The smart groups of the sidebar.
enum class ArticlesSourceFilter : std::uint8_t {
    today = 0,
    unread = 1,
    starred = 2,
};

// Nothing for a raw value of 3 or more.
inline std::optional<ArticlesSourceFilter> articlesSourceFilter(std::uint8_t rawValue) {
    if (rawValue > static_cast<std::uint8_t>(ArticlesSourceFilter::starred)) return std::nullopt;
    return static_cast<ArticlesSourceFilter>(rawValue);
}

inline std::uint8_t rawValue(ArticlesSourceFilter filter) { return static_cast<std::uint8_t>(filter); }

}  // namespace tallowmere
