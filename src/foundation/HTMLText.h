#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unicode/unistr.h>

namespace tallowmere {

// Character references ("&amp;", "&#65;", "&#x41;") replaced by their
// characters in one pass from the end, so that a replacement is never
// decoded again. Malformed references stay as they are; bytes that are
// not UTF-8 come back as replacement characters when the text holds "&".
std::string decodingHTMLEntities(std::string_view text);
icu::UnicodeString decodingHTMLEntities(const icu::UnicodeString& text);

// Plain text with paragraph breaks from an HTML fragment; with keepLinks
// the opening and closing "a" tags stay.
std::string strippingHTML(std::string_view text, bool keepLinks);

// Every occurrence of each key replaced by its value, pair by pair in the
// order given.
std::string replacingKeys(std::string_view text, const std::vector<std::pair<std::string, std::string>>& values);

// The expressions of the stripping steps, as the ICU engine reads them.
// Every step is carried out by a scanner that gives the same result in
// linear time (the expressions backtrack deeply or repeatedly on long input,
// or build their result by many copies); these texts stay the reference
// they are checked against.
namespace html_patterns {
inline constexpr const char* lineBreak = "<br */*>";
inline constexpr const char* script = "<script\\b[^<]*(?:(?!</script>)<[^<]*)*</script>";
inline constexpr const char* anyTag = "<[^>]+>";
inline constexpr const char* tagExceptLinks = "<(?!/?a(?=>|\\s.*>))/?.*?>";
inline constexpr const char* sentenceBreak = "\\. (?!\\.)(?![\n])";
inline constexpr const char* sentenceBreakTemplate = "\\.\n\n";
inline constexpr const char* blankLines = "(\\s*\n+\\s*){2,}";
}  // namespace html_patterns

}  // namespace tallowmere
