#include "foundation/TextOperations.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>

#include "platform/text/AsciiText.h"

namespace tallowmere {

namespace {

icu::UnicodeString unicode(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

const icu::RegexPattern* emailPattern() {
    static const icu::RegexPattern* pattern = [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError;
        auto* compiled = icu::RegexPattern::compile(
            icu::UnicodeString(u"[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,64}"), 0, parseError, status);
        return U_SUCCESS(status) ? compiled : nullptr;
    }();
    return pattern;
}

// The boundaries of user-perceived characters; nothing when ICU cannot make them.
std::unique_ptr<icu::BreakIterator> characterBreaks(const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !breaks) return nullptr;
    breaks->setText(text);
    return breaks;
}

}  // namespace

bool isValidEmail(std::string_view text) {
    const icu::RegexPattern* pattern = emailPattern();
    if (!pattern) return false;
    const icu::UnicodeString input = unicode(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    if (U_FAILURE(status)) return false;
    const bool matched = matcher->matches(status);
    return U_SUCCESS(status) && matched;
}

std::string capitalizedFirstLetter(std::string_view text) {
    if (text.empty()) return std::string();
    const icu::UnicodeString input = unicode(text);
    int32_t end = input.moveIndex32(0, 1);
    if (auto characters = characterBreaks(input)) {
        const int32_t next = characters->following(0);
        if (next != icu::BreakIterator::DONE) end = next;
    }
    icu::UnicodeString first(input, 0, end);
    first.toUpper(icu::Locale::getRoot());
    return utf8(first) + utf8(icu::UnicodeString(input, end));
}

std::size_t characterCount(std::string_view text) {
    const icu::UnicodeString input = unicode(text);
    auto characters = characterBreaks(input);
    if (!characters) return static_cast<std::size_t>(input.countChar32());
    std::size_t count = 0;
    for (int32_t at = characters->next(); at != icu::BreakIterator::DONE; at = characters->next()) ++count;
    return count;
}

std::string leadingCharacters(std::string_view text, std::size_t count) {
    const icu::UnicodeString input = unicode(text);
    auto characters = characterBreaks(input);
    if (!characters) return utf8(input.tempSubString(0, static_cast<int32_t>(count)));
    int32_t end = characters->first();
    for (std::size_t taken = 0; taken < count; ++taken) {
        const int32_t next = characters->next();
        if (next == icu::BreakIterator::DONE) break;
        end = next;
    }
    return utf8(input.tempSubString(0, end));
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string lowercased(std::string_view text) {
    if (text::AsciiText::isAscii(text))
        return text::AsciiText::lowercased(text);  // the common case, without ICU
    icu::UnicodeString lowered = unicode(text);
    lowered.toLower(icu::Locale::getRoot());
    return utf8(lowered);
}

std::string lowercasedTrimmingSlashes(std::string_view text) {
    std::string out = lowercased(text);
    const auto start = out.find_first_not_of('/');
    if (start == std::string::npos) return std::string();
    const auto end = out.find_last_not_of('/');
    return out.substr(start, end - start + 1);
}

std::string trimmingWhitespace(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t start = 0;
    while (start < length) {
        std::int32_t next = start;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        start = next;
    }
    std::int32_t end = length;
    while (end > start) {
        std::int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, start, previous, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return std::string(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

}  // namespace tallowmere
