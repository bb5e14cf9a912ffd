#pragma once

#include <optional>
#include <string_view>

namespace tallowmere::feedkit {

// The named character references of HTML 4, which feeds use in XML although
// XML does not declare them (&nbsp;, &eacute;, ...).
class HtmlEntities {
public:
    // The code point of a name such as "nbsp", or nothing for an unknown name.
    static std::optional<char32_t> codePoint(std::string_view name);
};

}  // namespace tallowmere::feedkit
