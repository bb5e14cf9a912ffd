#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace tallowmere::text {

struct HTMLEntity {
    std::string_view escapeSequence;  // "&" name ";", case-sensitive
    char32_t ucharValue;
};

// The named character references of HTML 4.01 plus "&apos;": the one table
// behind the feed reader's XML repair and the cleaning of feed HTML.
class HTMLEntities {
public:
    HTMLEntities() = delete;

    // The fixed table, in ascending code-point order.
    static std::span<const HTMLEntity> table();
    // The code point of a name such as "nbsp" (no "&", no ";"), or nothing
    // for an unknown name.
    static std::optional<char32_t> codePoint(std::string_view name);
};

}  // namespace tallowmere::text
