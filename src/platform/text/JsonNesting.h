#pragma once

#include <cstddef>
#include <string_view>

namespace tallowmere::text {

// Guards recursive JSON readers and writers against documents nested deeply
// enough to exhaust the stack: the depth is read by a flat scan first.
class JsonNesting {
public:
    JsonNesting() = delete;

    // Deepest nesting of arrays and objects in a JSON text (brackets inside
    // strings do not count); the scan stops as soon as it passes `limit`.
    static std::size_t depth(std::string_view text, std::size_t limit);
    static bool deeperThan(std::string_view text, std::size_t limit) { return depth(text, limit) > limit; }
};

}  // namespace tallowmere::text
