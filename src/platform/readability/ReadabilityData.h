#pragma once

#include <optional>
#include <string>
#include <variant>

namespace tallowmere::readability {

// What a page yields: its main text (paragraphs separated by blank lines) and
// the absolute http(s) URLs of its top image and top video. Any of the three
// may be missing; a page that yields none of them is reported as an error.
struct ReadabilityData {
    std::optional<std::string> text;
    std::optional<std::string> topImage;
    std::optional<std::string> topVideo;

    bool operator==(const ReadabilityData&) const = default;
};

enum class ReadabilityError {
    emptyPage,     // no bytes at all
    pageTooLarge,  // over Readability::maximumPageSize
    notHTML,       // binary data, or nothing the HTML parser could make a document of
    nothingFound,  // a document, but no text, image or video in it
};

using ReadabilityResult = std::variant<ReadabilityData, ReadabilityError>;

}  // namespace tallowmere::readability
