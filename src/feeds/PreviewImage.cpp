#include "feeds/PreviewImage.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "foundation/HTMLText.h"
#include "foundation/URL.h"
#include "platform/htmlquery/HTMLDocument.h"

namespace tallowmere {

namespace {

// The preview is UTF-8 by now. A charset it declares itself (copied from
// its page) would make the parser read it as something else, so ours comes
// first.
constexpr std::string_view utf8Declaration = "<meta charset=\"utf-8\">";

bool isASCIIWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// What a browser does to an attribute value before reading it as a URL:
// surrounding white space goes, tabs and line breaks inside are dropped.
std::string cleanedSource(std::string_view source) {
    while (!source.empty() && isASCIIWhitespace(source.front())) source.remove_prefix(1);
    while (!source.empty() && isASCIIWhitespace(source.back())) source.remove_suffix(1);
    std::string cleaned;
    cleaned.reserve(source.size());
    for (char c : source)
        if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
    return cleaned;
}

// Sources in the wild hold spaces, non-ASCII letters and stray "%" signs
// that a strict URL refuses; browsers percent-encode them, and so do we.
std::string percentEncodingStrayCharacters(std::string_view source) {
    static constexpr const char* unsafe = " \"<>\\^`{|}";
    std::string encoded;
    encoded.reserve(source.size());
    bool inFragment = false;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const auto byte = static_cast<unsigned char>(source[i]);
        const bool strayPercent =
            byte == '%' && !(i + 2 < source.size() && isHexDigit(source[i + 1]) && isHexDigit(source[i + 2]));
        const bool secondHash = byte == '#' && inFragment;
        if (byte == '#') inFragment = true;
        if (byte < 0x20 || byte >= 0x7f || std::strchr(unsafe, byte) || strayPercent || secondHash) {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", byte);
            encoded += escape;
        } else {
            encoded += static_cast<char>(byte);
        }
    }
    return encoded;
}

}  // namespace

std::optional<std::string> PreviewImage::firstImageAddress(std::string_view previewHTML,
                                                           const std::optional<std::string>& articleLink) {
    const std::string html = std::string(utf8Declaration) + decodingHTMLEntities(previewHTML);
    const auto document = htmlquery::HTMLDocument::parse(html);
    if (!document) return std::nullopt;
    const auto sources = document->xPath("//img/@src");
    if (!sources || sources->empty()) return std::nullopt;
    const auto source = sources->front().content();
    if (!source) return std::nullopt;
    return address(*source, articleLink);
}

std::optional<std::string> PreviewImage::address(std::string_view source,
                                                 const std::optional<std::string>& articleLink) {
    const std::string cleaned = cleanedSource(source);
    if (cleaned.empty()) return std::nullopt;
    const auto link = articleLink ? URL::parse(*articleLink) : std::nullopt;
    if (!link || !link->isAbsolute()) {
        std::string path = cleaned.front() == '/' ? cleaned.substr(1) : cleaned;
        if (path.empty()) return std::nullopt;
        return path;
    }
    const auto resolved = link->resolving(percentEncodingStrayCharacters(cleaned));
    if (!resolved) return std::nullopt;
    return resolved->absoluteString();
}

}  // namespace tallowmere
