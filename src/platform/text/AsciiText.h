#pragma once

#include <string>
#include <string_view>

namespace tallowmere::text {

// Byte-wise helpers for protocol and configuration text (header names, URL
// schemes, stored words), where only ASCII letters and white space count.
// Text meant for people goes through the Unicode helpers of the core instead.
class AsciiText {
public:
    AsciiText() = delete;

    static bool isAscii(std::string_view text);
    // ASCII letters lower-cased, every other byte unchanged.
    static std::string lowercased(std::string_view text);
    // ASCII white space (space, tab, line feed, vertical tab, form feed,
    // carriage return) removed from both ends.
    static std::string_view trimmed(std::string_view text);
    static bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);
};

}  // namespace tallowmere::text
