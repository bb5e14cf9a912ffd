#pragma once

#include <string_view>

namespace tallowmere::utf8 {

// Well-formed UTF-8 only: no overlong forms, no surrogates, nothing above
// U+10FFFF.
bool isValid(std::string_view bytes);

}  // namespace tallowmere::utf8
