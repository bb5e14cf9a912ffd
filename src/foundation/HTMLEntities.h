#pragma once

#include <span>
#include <string_view>

namespace tallowmere {

struct HTMLEntity {
    std::string_view escapeSequence;  // "&" name ";", case-sensitive
    char32_t ucharValue;
};

// The fixed table of named references, in ascending code-point order.
std::span<const HTMLEntity> htmlEntities();

}  // namespace tallowmere
