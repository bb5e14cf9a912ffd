#include "platform/readability/CharsetSniffer.h"

#include <libxml/encoding.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace tallowmere::readability {

namespace {

// Far enough to get past long <head> preambles (inline styles, comments)
// without reading the whole page.
constexpr std::size_t prescanLimit = 8192;

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string lowercased(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (isSpace(text.front()) || text.front() == '"' || text.front() == '\''))
        text.remove_prefix(1);
    while (!text.empty() && (isSpace(text.back()) || text.back() == '"' || text.back() == '\''))
        text.remove_suffix(1);
    return text;
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[at + i]) != prefix[i]) return false;
    return true;
}

// The value after "charset=" in a Content-Type value.
std::optional<std::string> charsetOfContentType(std::string_view content) {
    const std::string lowered = lowercased(content);
    const auto at = lowered.find("charset");
    if (at == std::string::npos) return std::nullopt;
    std::size_t i = at + 7;
    while (i < content.size() && isSpace(content[i])) ++i;
    if (i >= content.size() || content[i] != '=') return std::nullopt;
    ++i;
    while (i < content.size() && isSpace(content[i])) ++i;
    std::size_t end = i;
    if (end < content.size() && (content[end] == '"' || content[end] == '\'')) {
        const char quote = content[end];
        const auto close = content.find(quote, end + 1);
        if (close == std::string_view::npos) return std::nullopt;
        return std::string(content.substr(end + 1, close - end - 1));
    }
    while (end < content.size() && !isSpace(content[end]) && content[end] != ';') ++end;
    if (end == i) return std::nullopt;
    return std::string(content.substr(i, end - i));
}

struct Attribute {
    std::string name;
    std::string value;
};

// Reads one attribute of a tag starting at `i`; moves `i` past it. Returns
// nothing at the end of the tag.
std::optional<Attribute> nextAttribute(std::string_view text, std::size_t& i) {
    while (i < text.size() && (isSpace(text[i]) || text[i] == '/')) ++i;
    if (i >= text.size() || text[i] == '>') return std::nullopt;
    Attribute attribute;
    while (i < text.size() && !isSpace(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/')
        attribute.name += lower(text[i++]);
    while (i < text.size() && isSpace(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') return attribute;
    ++i;
    while (i < text.size() && isSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        const char quote = text[i++];
        while (i < text.size() && text[i] != quote) attribute.value += text[i++];
        if (i < text.size()) ++i;
    } else {
        while (i < text.size() && !isSpace(text[i]) && text[i] != '>') attribute.value += text[i++];
    }
    return attribute;
}

std::optional<std::string> charsetOfMetaTag(std::string_view text, std::size_t& i) {
    bool httpEquivContentType = false;
    std::optional<std::string> charset, contentCharset;
    while (auto attribute = nextAttribute(text, i)) {
        if (attribute->name == "charset" && !charset) charset = std::string(trimmed(attribute->value));
        if (attribute->name == "http-equiv" && lowercased(trimmed(attribute->value)) == "content-type")
            httpEquivContentType = true;
        if (attribute->name == "content" && !contentCharset)
            contentCharset = charsetOfContentType(attribute->value);
    }
    if (charset && !charset->empty()) return charset;
    if (httpEquivContentType && contentCharset) return std::string(trimmed(*contentCharset));
    return std::nullopt;
}

std::optional<std::string> charsetOfXMLDeclaration(std::string_view page) {
    if (page.substr(0, 5) != "<?xml") return std::nullopt;
    const auto end = page.find("?>");
    if (end == std::string_view::npos) return std::nullopt;
    std::size_t i = 5;
    const std::string_view declaration = page.substr(0, end);
    while (auto attribute = nextAttribute(declaration, i))
        if (attribute->name == "encoding") return attribute->value;
    return std::nullopt;
}

// Length of the valid UTF-8 sequence at `i`, or 0.
std::size_t validSequenceLength(std::string_view bytes, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() - i < length) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

}  // namespace

std::optional<std::string> CharsetSniffer::declaredCharset(std::string_view page) {
    if (auto declared = charsetOfXMLDeclaration(page)) return declared;
    const std::string_view head = page.substr(0, prescanLimit);
    std::size_t i = 0;
    while ((i = head.find('<', i)) != std::string_view::npos) {
        if (head.compare(i, 4, "<!--") == 0) {
            const auto close = head.find("-->", i + 4);
            if (close == std::string_view::npos) break;
            i = close + 3;
        } else if (startsWithNoCase(head, i, "<meta") && i + 5 < head.size() &&
                   (isSpace(head[i + 5]) || head[i + 5] == '/')) {
            i += 5;
            if (auto charset = charsetOfMetaTag(head, i)) return charset;
        } else if (startsWithNoCase(head, i, "<script") || startsWithNoCase(head, i, "<style")) {
            const bool script = startsWithNoCase(head, i, "<script");
            const std::string closing = script ? "</script" : "</style";
            const std::string lowered = lowercased(head.substr(i + 1));
            const auto close = lowered.find(closing.substr(1));
            if (close == std::string::npos) break;
            i += 1 + close + closing.size() - 1;
        } else {
            ++i;
        }
    }
    return std::nullopt;
}

std::optional<std::string> CharsetSniffer::encodingForLabel(std::string_view label) {
    const std::string name = lowercased(trimmed(label));
    if (name.empty()) return std::nullopt;
    // A page that could be read far enough to find its declaration is not
    // UTF-16, whatever it says.
    static constexpr std::array unicodeLabels{"utf-8",    "utf8",   "unicode-1-1-utf-8", "utf-16", "utf-16le",
                                              "utf-16be", "unicode"};
    if (std::find(unicodeLabels.begin(), unicodeLabels.end(), name) != unicodeLabels.end()) return "UTF-8";
    // Pages labelled Latin-1 or ASCII are windows-1252 in practice: curly
    // quotes and dashes live in 0x80-0x9F.
    static constexpr std::array latinLabels{"iso-8859-1", "iso8859-1", "iso_8859-1",   "latin1", "l1",
                                            "us-ascii",   "ascii",     "windows-1252", "cp1252", "x-cp1252",
                                            "cp819",      "ibm819",    "iso-ir-100"};
    const bool latin = std::find(latinLabels.begin(), latinLabels.end(), name) != latinLabels.end();
    const std::string candidate = latin ? "windows-1252" : name;
    if (xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(candidate.c_str())) {
        xmlCharEncCloseFunc(handler);
        return candidate;
    }
    if (latin) return "ISO-8859-1";  // built into libxml2
    return std::nullopt;
}

CharsetSniffer::Encoding CharsetSniffer::detect(std::string_view page) {
    if (page.substr(0, 3) == "\xEF\xBB\xBF") return {"UTF-8", 3};
    if (page.substr(0, 2) == "\xFF\xFE") return {"UTF-16LE", 2};
    if (page.substr(0, 2) == "\xFE\xFF") return {"UTF-16BE", 2};
    // Non-ASCII bytes that are valid UTF-8 are UTF-8 whatever the page says:
    // legacy text almost never forms valid multi-byte sequences by chance,
    // while pages re-encoded by their server keep their old declaration.
    const bool plainlyUTF8 =
        std::any_of(page.begin(), page.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) &&
        isValidUTF8(page);
    if (auto declared = declaredCharset(page)) {
        if (auto encoding = encodingForLabel(*declared)) {
            const bool wide = encoding->rfind("UTF-16", 0) == 0;
            return {plainlyUTF8 && !wide ? std::string("UTF-8") : *encoding, 0};
        }
    }
    if (plainlyUTF8 || isValidUTF8(page)) return {"UTF-8", 0};
    return {*encodingForLabel("windows-1252"), 0};
}

bool CharsetSniffer::isValidUTF8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = validSequenceLength(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string CharsetSniffer::repairedUTF8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 16);
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = validSequenceLength(bytes, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace tallowmere::readability
