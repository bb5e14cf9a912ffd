#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallowmere {

// Fetched feed bytes whose first 100 bytes declare ISO 8859-1 (or a longer
// ISO 8859 part name beginning with it) or one of the Windows code pages
// 1250 to 1254, re-encoded as UTF-8 with that one declaration rewritten to
// "UTF-8". ISO 8859-1 is read as Windows-1252, as the web does, and a byte
// the charset does not define becomes U+FFFD rather than failing the whole
// document. Nothing when the bytes are not converted; the caller then goes
// on with the bytes as fetched.
std::optional<std::string> convertedToUTF8(std::string_view bytes);

}  // namespace tallowmere
