#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallowmere {

// The whole text is an e-mail address of the plain form name@host.tld.
bool isValidEmail(std::string_view text);

// The first user-perceived character upper-cased with the full mapping
// (one character may become several), the rest unchanged.
std::string capitalizedFirstLetter(std::string_view text);

// Characters as a reader counts them (grapheme clusters): "é" written as e
// plus an accent, or a flag made of two code points, is one.
std::size_t characterCount(std::string_view text);
// The first `count` such characters of the text.
std::string leadingCharacters(std::string_view text, std::size_t count);

// The text between two double quotes; nothing inside is escaped.
std::string quoted(std::string_view text);

// White space and line breaks of any script removed from both ends. Bytes that
// are not UTF-8 stop the trimming, so they are kept.
std::string trimmingWhitespace(std::string_view text);

// Full Unicode lower-casing, the same in every locale.
std::string lowercased(std::string_view text);

// Lower-cased, then every "/" removed from both ends.
std::string lowercasedTrimmingSlashes(std::string_view text);

}  // namespace tallowmere
