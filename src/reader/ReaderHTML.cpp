#include "reader/ReaderHTML.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "foundation/HTMLText.h"
#include "foundation/TextOperations.h"

namespace tallowmere {

namespace {

constexpr std::array<std::string_view, 13> kKeptTags{"br", "p", "a", "b", "strong", "i", "em", "u", "s",
                                                      "code", "sub", "sup", "blockquote"};

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// The end of the tag that starts at `start` ("<"), past its closing ">",
// honouring quoted attribute values; npos when the tag never ends.
std::size_t tagEnd(std::string_view html, std::size_t start) {
    char quote = 0;
    for (std::size_t i = start + 1; i < html.size(); ++i) {
        const char c = html[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// The value of the href attribute in a tag's text, entities decoded.
std::string hrefOf(std::string_view tag) {
    const std::string lower = lowercased(tag);
    std::size_t at = 0;
    while ((at = lower.find("href", at)) != std::string::npos) {
        const bool boundary = at > 0 && !isNameChar(lower[at - 1]) && lower[at - 1] != '-';
        std::size_t i = at + 4;
        at = i;
        if (!boundary) continue;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) ++i;
        if (i >= tag.size()) return {};
        std::size_t end;
        std::size_t begin = i;
        if (tag[i] == '"' || tag[i] == '\'') {
            begin = i + 1;
            end = tag.find(tag[i], begin);
            if (end == std::string_view::npos) end = tag.size();
        } else {
            end = begin;
            while (end < tag.size() && !std::isspace(static_cast<unsigned char>(tag[end])) && tag[end] != '>') ++end;
        }
        return trimmingWhitespace(decodingHTMLEntities(tag.substr(begin, end - begin)));
    }
    return {};
}

}  // namespace

std::string ReaderHTML::escapedText(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': result += "&amp;"; break;
            case '<': result += "&lt;"; break;
            case '>': result += "&gt;"; break;
            case '"': result += "&quot;"; break;
            case '\'': result += "&#39;"; break;
            default: result += c;
        }
    }
    return result;
}

bool ReaderHTML::isWebLink(std::string_view address) {
    const std::string lower = lowercased(trimmingWhitespace(address));
    return lower.starts_with("http://") || lower.starts_with("https://") || lower.starts_with("mailto:");
}

std::string ReaderHTML::sanitizedContent(std::string_view html) {
    std::string result;
    result.reserve(html.size());
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '>') {
            result += "&gt;";
            ++i;
            continue;
        }
        if (c != '<') {
            result += c;
            ++i;
            continue;
        }
        const std::size_t end = tagEnd(html, i);
        std::size_t nameStart = i + 1;
        const bool closing = nameStart < html.size() && html[nameStart] == '/';
        if (closing) ++nameStart;
        std::size_t nameEnd = nameStart;
        while (nameEnd < html.size() && isNameChar(html[nameEnd])) ++nameEnd;
        const bool looksLikeTag = nameEnd > nameStart || (nameStart < html.size() && (html[nameStart] == '!' || html[nameStart] == '?'));
        if (end == std::string_view::npos || !looksLikeTag) {
            result += "&lt;";
            ++i;
            continue;
        }
        const std::string name = lowercased(html.substr(nameStart, nameEnd - nameStart));
        const std::string_view tag = html.substr(i, end - i);
        i = end;
        if (std::find(kKeptTags.begin(), kKeptTags.end(), name) == kKeptTags.end()) continue;
        if (closing) {
            if (name != "br") result += "</" + name + ">";
        } else if (name == "a") {
            const std::string href = hrefOf(tag);
            result += isWebLink(href) ? "<a href=\"" + escapedText(href) + "\">" : std::string("<a>");
        } else {
            result += "<" + name + ">";
        }
    }
    return result;
}

}  // namespace tallowmere
