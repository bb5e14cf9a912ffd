#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tallowmere::readability {

// Decides which character encoding a page's bytes are in, the way browsers
// do: a byte-order mark first, then what the page declares near its top
// (XML declaration, <meta charset>, <meta http-equiv="Content-Type">), and
// for an undeclared page UTF-8 when the bytes are valid UTF-8, else
// windows-1252.
class CharsetSniffer {
public:
    struct Encoding {
        std::string name;           // a name libxml2 knows
        std::size_t byteOrderMark;  // bytes to skip at the start
    };

    static Encoding detect(std::string_view page);

    // The encoding a page declares near its top, as written, if any.
    static std::optional<std::string> declaredCharset(std::string_view page);
    // A libxml2 encoding name for a declared label, or nothing when no
    // converter for it exists.
    static std::optional<std::string> encodingForLabel(std::string_view label);
    static bool isValidUTF8(std::string_view bytes);
    // The bytes with every invalid UTF-8 sequence replaced by U+FFFD.
    static std::string repairedUTF8(std::string_view bytes);
};

}  // namespace tallowmere::readability
