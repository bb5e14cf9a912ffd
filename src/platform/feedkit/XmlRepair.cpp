#include "platform/feedkit/XmlRepair.h"

#include <cctype>

#include "platform/text/HTMLEntities.h"

namespace tallowmere::feedkit {
namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':'; }
bool isNameChar(char c) {
    return isNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

bool isXmlPredefined(std::string_view name) {
    return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
}

// Length of a well-formed character reference "&#123;" / "&#x1F;" at `at`, or 0.
size_t characterReferenceLength(std::string_view text, size_t at) {
    size_t i = at + 2;
    bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    size_t digitsStart = i;
    while (i < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[i]))
                                   : std::isdigit(static_cast<unsigned char>(text[i]))))
        ++i;
    if (i == digitsStart || i >= text.size() || text[i] != ';') return 0;
    return i + 1 - at;
}

// Skips a construct that starts at `at` with `open` up to and including `close`;
// returns the index after it (the end of the text when unclosed).
size_t skipPast(std::string_view text, size_t at, std::string_view close) {
    size_t end = text.find(close, at);
    return end == std::string_view::npos ? text.size() : end + close.size();
}

// The document type declaration may hold an internal subset in brackets.
size_t skipDoctype(std::string_view text, size_t at) {
    int depth = 0;
    for (size_t i = at; i < text.size(); ++i) {
        if (text[i] == '[') ++depth;
        if (text[i] == ']' && depth > 0) --depth;
        if (text[i] == '>' && depth == 0) return i + 1;
    }
    return text.size();
}

// C0 controls other than tab, line feed and carriage return are never allowed
// in XML, yet leak into feeds from databases and word processors.
bool isForbiddenControl(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 && byte != 0x09 && byte != 0x0A && byte != 0x0D;
}

// A "<" that cannot open markup ("a < b", "<3") is text.
bool opensMarkup(std::string_view text, size_t at) {
    if (at + 1 >= text.size()) return true;  // cut off: leave it to the reader to refuse
    char next = text[at + 1];
    return isNameStart(next) || next == '/' || next == '!' || next == '?' ||
           static_cast<unsigned char>(next) >= 0x80;
}

// UTF-16 and UTF-32 documents have zero bytes up front; their bytes are not ours to mend.
bool isAsciiCompatible(std::string_view text) {
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))
        return false;
    return text.substr(0, 4).find('\0') == std::string_view::npos;
}

void appendWithoutControls(std::string& out, std::string_view text) {
    for (char c : text)
        if (!isForbiddenControl(c)) out += c;
}

// True for a character reference that names no XML character (&#1;, &#xD800;).
bool referencesForbiddenCharacter(std::string_view reference) {
    bool hex = reference.size() > 2 && (reference[2] == 'x' || reference[2] == 'X');
    unsigned long value = 0;
    for (size_t i = hex ? 3 : 2; i + 1 < reference.size(); ++i) {
        int digit = std::isdigit(static_cast<unsigned char>(reference[i]))
                        ? reference[i] - '0'
                        : std::tolower(static_cast<unsigned char>(reference[i])) - 'a' + 10;
        value = value * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
        if (value > 0x10FFFF) return true;
    }
    if (value < 0x20) return value != 0x9 && value != 0xA && value != 0xD;
    return (value >= 0xD800 && value <= 0xDFFF) || value == 0xFFFE || value == 0xFFFF;
}

void appendNumericReference(std::string& out, char32_t codePoint) {
    out += "&#";
    out += std::to_string(static_cast<unsigned long>(codePoint));
    out += ';';
}

// A document cut off inside its last end tag ("...</channel></rss") is
// complete but for the ">".
void closeCutEndTag(std::string& out) {
    size_t end = out.size();
    while (end > 0 && std::isspace(static_cast<unsigned char>(out[end - 1]))) --end;
    size_t lt = out.rfind('<', end == 0 ? 0 : end - 1);
    if (lt == std::string::npos || lt + 2 >= end || out[lt + 1] != '/' || !isNameStart(out[lt + 2])) return;
    for (size_t i = lt + 2; i < end; ++i)
        if (!isNameChar(out[i])) return;
    out.resize(end);
    out += '>';
}

}  // namespace

std::string XmlRepair::repair(std::string_view text) {
    if (!isAsciiCompatible(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 64);
    // Without declarations of its own, a name no one knows is text, kept as written.
    const bool declaresEntities = text.find("<!ENTITY") != std::string_view::npos;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (isForbiddenControl(c)) {
            ++i;
            continue;
        }
        if (c == '<' && !opensMarkup(text, i)) {
            out += "&lt;";
            ++i;
            continue;
        }
        if (c == '<') {
            size_t end = i + 1;
            if (text.compare(i, 9, "<![CDATA[") == 0) {
                end = skipPast(text, i + 9, "]]>");
            } else if (text.compare(i, 4, "<!--") == 0) {
                end = skipPast(text, i + 4, "-->");
            } else if (text.compare(i, 2, "<?") == 0) {
                end = skipPast(text, i + 2, "?>");
            } else if (text.compare(i, 9, "<!DOCTYPE") == 0) {
                end = skipDoctype(text, i);
            }
            appendWithoutControls(out, text.substr(i, end - i));
            i = end;
            continue;
        }
        if (c != '&') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '#') {
            if (size_t length = characterReferenceLength(text, i)) {
                std::string_view reference = text.substr(i, length);
                if (!referencesForbiddenCharacter(reference)) out.append(reference);
                i += length;
                continue;
            }
            out += "&amp;";
            ++i;
            continue;
        }
        size_t nameEnd = i + 1;
        if (nameEnd < text.size() && isNameStart(text[nameEnd])) {
            while (nameEnd < text.size() && isNameChar(text[nameEnd])) ++nameEnd;
        }
        bool terminated = nameEnd > i + 1 && nameEnd < text.size() && text[nameEnd] == ';';
        if (!terminated) {
            out += "&amp;";
            ++i;
            continue;
        }
        std::string_view name = text.substr(i + 1, nameEnd - i - 1);
        if (!isXmlPredefined(name)) {
            if (auto codePoint = text::HTMLEntities::codePoint(name)) {
                appendNumericReference(out, *codePoint);
                i = nameEnd + 1;
                continue;
            }
        }
        if (!isXmlPredefined(name) && !declaresEntities) out += "&amp;";
        else out += '&';
        // Predefined, or perhaps declared by the document itself: keep it.
        out.append(text.substr(i + 1, nameEnd - i));
        i = nameEnd + 1;
    }
    closeCutEndTag(out);
    return out;
}

}  // namespace tallowmere::feedkit
