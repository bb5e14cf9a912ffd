#pragma once

#include <optional>

namespace tallowmere {

// Whether and how often a feed's new articles are mailed as a digest.
enum class NewsletterType : int {
    none = 0,
    hourly = 1,
    daily = 2,
};

constexpr std::optional<NewsletterType> newsletterTypeFromRaw(long long raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return static_cast<NewsletterType>(raw);
}

constexpr int rawValue(NewsletterType value) { return static_cast<int>(value); }

}  // namespace tallowmere
