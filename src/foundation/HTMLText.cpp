#include "foundation/HTMLText.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/TextOperations.h"
#include "foundation/UTF8.h"
#include "platform/text/HTMLEntities.h"

namespace tallowmere {

namespace {

// ---- Entity decoding -------------------------------------------------------

const std::unordered_map<std::u16string, char32_t>& entityMap() {
    static const auto* map = [] {
        auto* m = new std::unordered_map<std::u16string, char32_t>();
        for (const auto& entity : text::HTMLEntities::table()) {
            std::u16string key(entity.escapeSequence.begin(), entity.escapeSequence.end());
            m->emplace(std::move(key), entity.ucharValue);  // first entry wins
        }
        return m;
    }();
    return *map;
}

bool isScannerSpace(char16_t c) { return u_isUWhiteSpace(c); }

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads digits the way the text scanner does: leading white space skipped,
// then (for hex) an optional "0x", or (for decimal) an optional sign. Gives
// the value only when the digits run to the end of the text.
std::optional<std::int64_t> scanNumber(std::u16string_view digits, bool hex) {
    std::size_t i = 0;
    while (i < digits.size() && isScannerSpace(digits[i])) ++i;
    bool negative = false;
    if (hex) {
        if (i + 1 < digits.size() && digits[i] == u'0' && (digits[i + 1] == u'x' || digits[i + 1] == u'X') &&
            i + 2 < digits.size() && hexDigit(digits[i + 2]) >= 0) {
            i += 2;
        }
    } else if (i < digits.size() && (digits[i] == u'+' || digits[i] == u'-')) {
        negative = digits[i] == u'-';
        ++i;
    }
    const std::size_t start = i;
    std::int64_t value = 0;
    const int base = hex ? 16 : 10;
    while (i < digits.size()) {
        const int d = hexDigit(digits[i]);
        if (d < 0 || d >= base) break;
        value = value * base + d;  // at most seven digits fit in a reference
        ++i;
    }
    if (i == start || i != digits.size()) return std::nullopt;
    return negative ? -value : value;
}

bool isAcceptedCodePoint(std::int64_t value) {
    return value >= 1 && value <= 65534 && !(value >= 0xD800 && value < 0xE000);
}

std::optional<char32_t> referenceValue(std::u16string_view reference) {
    const std::size_t length = reference.size();
    if (reference[1] == u'#') {
        const bool hex = reference[2] == u'x' || reference[2] == u'X';
        const auto digits = hex ? reference.substr(3, length - 4) : reference.substr(2, length - 3);
        const auto value = scanNumber(digits, hex);
        if (!value || !isAcceptedCodePoint(*value)) return std::nullopt;
        return static_cast<char32_t>(*value);
    }
    const auto& map = entityMap();
    const auto found = map.find(std::u16string(reference));
    if (found == map.end()) return std::nullopt;
    return found->second;
}

struct Replacement {
    int32_t start;
    int32_t length;
    char32_t value;
};

// ---- Regular expressions ---------------------------------------------------

std::unique_ptr<icu::RegexPattern> compile(const char* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), 0, parseError, status));
    if (U_FAILURE(status)) std::abort();  // the patterns are constants of ours
    return compiled;
}

// Compiled once; RegexPattern is safe to share between threads.
const icu::RegexPattern& scriptStartPattern() {
    static const auto compiled = compile("<script\\b");
    return *compiled;
}

// ---- Linear scanners for the costly steps ----------------------------------
//
// Stripping works on one UTF-16 buffer that every step shortens in place, and
// the last steps write straight into the UTF-8 result: a long text is neither
// copied nor given a fresh buffer per step (fresh large buffers are paid for
// page by page, far beyond what the copying itself costs).

// An empty text with room for `capacity` code units, so that appending up to
// that many never moves it.
icu::UnicodeString withCapacity(int32_t capacity) { return icu::UnicodeString(capacity, UChar32(0), 0); }

// The characters "." does not match in the ICU engine.
bool isLineTerminator(char16_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// "\s" of the ICU engine.
bool isRegexSpace(char16_t c) { return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE); }

using Ranges = std::vector<std::pair<int32_t, int32_t>>;

// Room for the UTF-16 working text. A long text gets memory of its own in
// huge pages: the allocator hands it fresh memory on every call, paid for page
// by page on first touch, and with small pages that cost grew far faster than
// the text (thousands of faults per call). A short text reuses the heap.
class WorkingUnits {
public:
    explicit WorkingUnits(std::size_t count) : bytes_(count * sizeof(char16_t)) {
        if (bytes_ >= kOwnMappingFrom) {
            bytes_ = (bytes_ + kHugePage - 1) / kHugePage * kHugePage;
            void* mapped = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mapped != MAP_FAILED) {
                // Advice only: small pages still work, and so do page faults
                // where the pages cannot be made ready in one call.
                madvise(mapped, bytes_, MADV_HUGEPAGE);
                madvise(mapped, bytes_, MADV_POPULATE_WRITE);
                mapped_ = static_cast<char16_t*>(mapped);
                return;
            }
        }
        heap_ = std::make_unique_for_overwrite<char16_t[]>(count);
    }
    ~WorkingUnits() {
        if (mapped_) munmap(mapped_, bytes_);
    }
    WorkingUnits(const WorkingUnits&) = delete;
    WorkingUnits& operator=(const WorkingUnits&) = delete;

    char16_t* data() const { return mapped_ ? mapped_ : heap_.get(); }

private:
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;
    static constexpr std::size_t kOwnMappingFrom = 4 * kHugePage;
    std::size_t bytes_;
    char16_t* mapped_ = nullptr;
    std::unique_ptr<char16_t[]> heap_;
};


// A text being shortened in place: `length` code units of `units`.
struct Buffer {
    char16_t* units;
    int32_t length;

    int32_t find(char16_t c, int32_t from) const {
        for (int32_t i = from; i < length; ++i)
            if (units[i] == c) return i;
        return -1;
    }
};

// Replaces each of the ascending, disjoint [start, end) ranges by
// `replacement` (no longer than any range) and closes the gaps.
void replacingRanges(Buffer& text, const Ranges& ranges, std::u16string_view replacement = {}) {
    if (ranges.empty()) return;
    int32_t written = ranges.front().first;
    for (std::size_t k = 0; k < ranges.size(); ++k) {
        std::copy(replacement.begin(), replacement.end(), text.units + written);
        written += static_cast<int32_t>(replacement.size());
        const int32_t keptFrom = ranges[k].second;
        const int32_t keptTo = k + 1 < ranges.size() ? ranges[k + 1].first : text.length;
        std::copy(text.units + keptFrom, text.units + keptTo, text.units + written);
        written += keptTo - keptFrom;
    }
    text.length = written;
}

// Forwards, which decodes what the backward pass decodes: each "&" reaches
// at most to the next one, so no two references overlap, and a replacement
// is never read again. A reference is never shorter than its character.
void decodingEntities(Buffer& text) {
    int32_t written = 0, kept = 0;
    int32_t ampersand = text.find(u'&', 0);
    while (ampersand >= 0) {
        const int32_t next = text.find(u'&', ampersand + 1);
        const int32_t end = std::min(next < 0 ? text.length : next, ampersand + 10);
        const auto* semicolon = std::find(text.units + ampersand, text.units + end, u';');
        const auto length = static_cast<int32_t>(semicolon - (text.units + ampersand)) + 1;
        if (semicolon != text.units + end && length >= 4) {
            const std::u16string_view reference(text.units + ampersand, static_cast<std::size_t>(length));
            if (const auto value = referenceValue(reference)) {
                std::copy(text.units + kept, text.units + ampersand, text.units + written);
                written += ampersand - kept;
                U16_APPEND_UNSAFE(text.units, written, static_cast<UChar32>(*value));
                kept = ampersand + length;
            }
        }
        ampersand = next;
    }
    std::copy(text.units + kept, text.units + text.length, text.units + written);
    text.length = written + (text.length - kept);
}

// "<script\b" up to the first "</script>" behind it: the expression's loop
// cannot step over a closing tag, and it fails for good once no closing tag
// follows.
void removingScripts(Buffer& text) {
    static constexpr std::u16string_view closing(u"</script>");
    const icu::UnicodeString alias(false, text.units, text.length);  // read-only, no copy
    const std::u16string_view view(text.units, static_cast<std::size_t>(text.length));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> starts(scriptStartPattern().matcher(alias, status));
    if (U_FAILURE(status)) return;
    Ranges ranges;
    // Every match begins with the plain word, so the engine is started only
    // where that is found: stepping it over each "<" cost far more.
    static constexpr std::u16string_view word(u"<script");
    std::size_t from = view.find(word);
    while (from != std::u16string_view::npos && starts->find(static_cast<int64_t>(from), status) &&
           U_SUCCESS(status)) {
        const int32_t start = starts->start(status);
        const auto close = view.find(closing, static_cast<std::size_t>(starts->end(status)));
        if (close == std::u16string_view::npos) break;
        const auto end = static_cast<int32_t>(close + closing.size());
        ranges.emplace_back(start, end);
        from = view.find(word, static_cast<std::size_t>(end));
    }
    replacingRanges(text, ranges);
}

// "<br */*>": no backtracking can help, so a tag matches exactly when
// "<br" is followed by spaces, then slashes, then ">". (The engine keeps
// one backtracking frame per repetition and gives up on long runs.)
void replacingLineBreakTags(Buffer& text) {
    static constexpr std::u16string_view opening(u"<br");
    const std::u16string_view view(text.units, static_cast<std::size_t>(text.length));
    const int32_t n = text.length;
    Ranges ranges;
    auto i = view.find(opening);
    while (i != std::u16string_view::npos) {
        auto j = static_cast<int32_t>(i + opening.size());
        while (j < n && text.units[j] == u' ') ++j;
        while (j < n && text.units[j] == u'/') ++j;
        if (j < n && text.units[j] == u'>') {
            ranges.emplace_back(static_cast<int32_t>(i), j + 1);
            i = view.find(opening, static_cast<std::size_t>(j + 1));
        } else {
            i = view.find(opening, i + 1);
        }
    }
    replacingRanges(text, ranges, u"\n");
}

// "<[^>]+>": from "<" to the first ">" behind it, with at least one
// character between.
void removingAllTags(Buffer& text) {
    Ranges ranges;
    int32_t i = text.find(u'<', 0);
    while (i >= 0) {
        const int32_t close = text.find(u'>', i + 1);
        if (close < 0) break;
        if (close == i + 1) {
            i = text.find(u'<', i + 1);
            continue;
        }
        ranges.emplace_back(i, close + 1);
        i = text.find(u'<', close + 1);
    }
    replacingRanges(text, ranges);
}

// "<(?!/?a(?=>|\s.*>))/?.*?>": a tag that closes on its own line, unless it
// is an "a" tag (opening or closing) followed by ">" or by white space and
// later a ">" on the following line part.
void removingTagsExceptLinks(Buffer& text) {
    const int32_t n = text.length;
    const char16_t* s = text.units;
    // nextClose(i): the first ">" at or after i before any line terminator,
    // or -1. It is the same across a stretch up to the first ">" or line
    // terminator, which is kept: the calls move forwards (at most a few
    // places back), so every character is looked at a bounded number of times.
    int32_t stretchStart = n + 1, stretchEnd = n + 1;
    auto nextClose = [&](int32_t i) {
        if (i < stretchStart || i > stretchEnd) {
            int32_t k = i;
            const int32_t stop = i < stretchStart && stretchStart <= n ? stretchStart : n;
            while (k < stop && s[k] != u'>' && !isLineTerminator(s[k])) ++k;
            if (k >= stop && stop != n) {
                stretchStart = i;  // ran into the known stretch: it reaches back to i
            } else {
                stretchStart = i;
                stretchEnd = k;
            }
        }
        return stretchEnd < n && s[stretchEnd] == u'>' ? stretchEnd : -1;
    };
    auto isKeptLink = [&](int32_t i) {
        const int32_t a = (i + 1 < n && s[i + 1] == u'/') ? i + 2 : i + 1;
        if (a >= n || s[a] != u'a' || a + 1 >= n) return false;
        if (s[a + 1] == u'>') return true;
        return isRegexSpace(s[a + 1]) && a + 2 <= n && nextClose(a + 2) >= 0;
    };
    Ranges ranges;
    int32_t i = 0;
    while (i < n) {
        if (s[i] != u'<' || i + 1 >= n || isKeptLink(i) || nextClose(i + 1) < 0) {
            ++i;
            continue;
        }
        const int32_t close = nextClose(i + 1);
        ranges.emplace_back(i, close + 1);
        i = close + 1;
    }
    replacingRanges(text, ranges);
}

// Appends text[from, to) in UTF-8, ill-formed units as replacement characters.
void appendUTF8(std::string& out, const Buffer& text, int32_t from, int32_t to) {
    if (from >= to) return;
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8WithSub(nullptr, 0, &length, text.units + from, to - from, 0xFFFD, nullptr, &status);
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(length));
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data() + at, length, nullptr, text.units + from, to - from, 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) out.resize(at);
}

// Without white space at either end. The last steps only ever turn white
// space into other white space, so the result comes out trimmed.
Buffer trimmingWhitespace(const Buffer& text) {
    int32_t first = 0, last = text.length;
    while (first < last && isRegexSpace(text.units[first])) ++first;
    while (last > first && isRegexSpace(text.units[last - 1])) --last;
    return Buffer{text.units + first, last - first};
}

// The last two steps together, written out as UTF-8:
// "\. (?!\.)(?![\n])" becomes ".\n\n" (a full stop and a space that neither
// another full stop nor a line feed follows), and then "(\s*\n+\s*){2,}",
// a whole run of white space holding two or more line feeds, becomes two
// line feeds. A run that follows an inserted break always holds two.
std::string breakingSentencesAndCollapsingBlankLines(const Buffer& text) {
    const int32_t n = text.length;
    const char16_t* s = text.units;
    auto isBreak = [&](int32_t i) {
        return s[i] == u'.' && i + 1 < n && s[i + 1] == u' ' &&
               !(i + 2 < n && (s[i + 2] == u'.' || s[i + 2] == u'\n'));
    };
    auto skippingSpaces = [&](int32_t i, int& lineFeeds) {
        for (; i < n && isRegexSpace(s[i]); ++i)
            if (s[i] == u'\n') ++lineFeeds;
        return i;
    };
    std::string out;
    out.reserve(static_cast<std::size_t>(n) + static_cast<std::size_t>(n) / 16);
    int32_t copied = 0;
    int32_t i = 0;
    while (i < n) {
        if (isRegexSpace(s[i])) {
            int lineFeeds = 0;
            const int32_t end = skippingSpaces(i, lineFeeds);
            if (lineFeeds >= 2) {
                appendUTF8(out, text, copied, i);
                out += "\n\n";
                copied = end;
            }
            i = end;
        } else if (isBreak(i)) {
            int lineFeeds = 0;
            const int32_t end = skippingSpaces(i + 2, lineFeeds);
            appendUTF8(out, text, copied, i);
            out += ".\n\n";
            copied = i = end;
        } else {
            ++i;
        }
    }
    appendUTF8(out, text, copied, n);
    return out;
}

void appendUTF8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character a reference written in UTF-8 stands for, under the same
// rules as in UTF-16: "&" to ";" spans 4 to 10 UTF-16 code units.
std::optional<char32_t> utf8ReferenceValue(std::string_view reference) {
    // No more than 10 code units take more than 30 bytes.
    if (reference.size() < 4 || reference.size() > 30) return std::nullopt;
    char16_t units[32];
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(units, 32, &length, reference.data(), static_cast<int32_t>(reference.size()), &status);
    if (U_FAILURE(status) || length < 4 || length > 10) return std::nullopt;
    return referenceValue(std::u16string_view(units, static_cast<std::size_t>(length)));
}

// Forwards, which decodes what the backward pass over UTF-16 decodes: each
// "&" reaches at most to the next one, so no two references overlap, and a
// replacement is never read again.
std::string decodingWellFormedUTF8(std::string_view text) {
    std::string out;
    out.reserve(text.size());  // a reference is never shorter than its character
    std::size_t position = 0;
    std::size_t ampersand = text.find('&');
    while (ampersand != std::string_view::npos) {
        const std::size_t next = text.find('&', ampersand + 1);
        const std::size_t end = next == std::string_view::npos ? text.size() : next;
        const std::string_view span = text.substr(ampersand, std::min<std::size_t>(end - ampersand, 31));
        const std::size_t semicolon = span.find(';');
        if (semicolon != std::string_view::npos) {
            if (const auto value = utf8ReferenceValue(span.substr(0, semicolon + 1))) {
                out.append(text, position, ampersand - position);
                appendUTF8(out, *value);
                position = ampersand + semicolon + 1;
            }
        }
        ampersand = next;
    }
    out.append(text, position, std::string_view::npos);
    return out;
}

// Measured first, then written into a string of that size: growing the
// string as it is written would copy a long text several times over.
std::string toUTF8(const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8WithSub(nullptr, 0, &length, text.getBuffer(), text.length(), 0xFFFD, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        std::string out;
        text.toUTF8String(out);
        return out;
    }
    std::string out(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), length, nullptr, text.getBuffer(), text.length(), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) {
        out.clear();
        text.toUTF8String(out);
    }
    return out;
}

}  // namespace

icu::UnicodeString decodingHTMLEntities(const icu::UnicodeString& text) {
    if (text.indexOf(u'&') < 0) return text;
    std::vector<Replacement> replacements;
    const char16_t* s = text.getBuffer();
    int32_t limit = text.length();
    while (true) {
        const int32_t p = limit > 0 ? text.lastIndexOf(u'&', 0, limit) : -1;
        if (p < 0) break;
        const int32_t semicolon = text.indexOf(u';', p, limit - p);
        limit = p;
        if (semicolon < 0) continue;
        const int32_t length = semicolon - p + 1;
        if (length < 4 || length > 10) continue;
        if (const auto value = referenceValue(std::u16string_view(s + p, static_cast<std::size_t>(length)))) {
            replacements.push_back({p, length, *value});
        }
    }
    if (replacements.empty()) return text;
    // Collected from the end; assembled from the start. A reference is never
    // shorter than its character, so the text's length is enough room.
    icu::UnicodeString result = withCapacity(text.length());
    int32_t position = 0;
    for (auto it = replacements.rbegin(); it != replacements.rend(); ++it) {
        result.append(text, position, it->start - position);
        result.append(static_cast<UChar32>(it->value));
        position = it->start + it->length;
    }
    result.append(text, position, text.length() - position);
    return result;
}

std::string decodingHTMLEntities(std::string_view text) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    // Well-formed text is decoded as it stands, in one pass; other text goes
    // through UTF-16, which also replaces its ill-formed bytes.
    if (utf8::isValid(text)) return decodingWellFormedUTF8(text);
    const auto unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    return toUTF8(decodingHTMLEntities(unicode));
}

std::string strippingHTML(std::string_view text, bool keepLinks) {
    // Ill-formed input becomes one replacement character per byte at most,
    // so the UTF-16 text never has more units than the input has bytes.
    const auto capacity = static_cast<int32_t>(text.size());
    const WorkingUnits units(static_cast<std::size_t>(capacity) + 1);
    Buffer buffer{units.data(), 0};
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(buffer.units, capacity + 1, &buffer.length, text.data(), capacity, 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};
    decodingEntities(buffer);
    replacingLineBreakTags(buffer);
    removingScripts(buffer);
    if (keepLinks) {
        removingTagsExceptLinks(buffer);
    } else {
        removingAllTags(buffer);
    }
    return breakingSentencesAndCollapsingBlankLines(trimmingWhitespace(buffer));
}

std::string replacingKeys(std::string_view text, const std::vector<std::pair<std::string, std::string>>& values) {
    std::string result(text);
    for (const auto& [key, value] : values) {
        if (key.empty()) continue;
        std::string next;
        std::size_t position = 0;
        while (true) {
            const auto found = result.find(key, position);
            if (found == std::string::npos) break;
            next.append(result, position, found - position);
            next += value;
            position = found + key.size();
        }
        next.append(result, position, std::string::npos);
        result = std::move(next);
    }
    return result;
}

}  // namespace tallowmere
