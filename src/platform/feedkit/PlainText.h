#pragma once

#include <string>
#include <string_view>

namespace tallowmere::feedkit {

// Markup taken out of short texts that should be plain (titles).
class PlainText {
public:
    // Tags removed (a line break or paragraph tag becomes a space); comments,
    // scripts and style sheets removed with their contents. A "<" that opens
    // no tag ("a < b") stays; entities stay as written.
    static std::string withoutMarkup(std::string_view text);
};

}  // namespace tallowmere::feedkit
