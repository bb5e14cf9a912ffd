#pragma once

#include <string>
#include <string_view>

namespace tallowmere {

// Makes article values safe to place in the reader's page.
class ReaderHTML {
public:
    ReaderHTML() = delete;
    // The text with "&", "<", ">", '"' and "'" written as character references.
    static std::string escapedText(std::string_view text);
    // The fragment with only line breaks, paragraphs, links to http, https and
    // mailto addresses and a few inline tags kept (without any attribute but a
    // link's address); every other tag is dropped and stray "<" and ">" are
    // escaped, so no markup of the article can run or load anything.
    static std::string sanitizedContent(std::string_view html);
    // Whether a link with this address may be kept or opened from a page.
    static bool isWebLink(std::string_view address);
};

}  // namespace tallowmere
