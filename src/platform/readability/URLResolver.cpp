#include "platform/readability/URLResolver.h"

#include <libxml/uri.h>
#include <libxml/xmlmemory.h>
#include <strings.h>

#include <cctype>

namespace tallowmere::readability {

namespace {

bool isURLSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// What browsers do before parsing an address: trim it, drop tabs and line
// breaks inside it, and percent-encode bytes that may not appear in a URI.
std::string cleanedReference(std::string_view reference) {
    while (!reference.empty() && isURLSpace(reference.front())) reference.remove_prefix(1);
    while (!reference.empty() && isURLSpace(reference.back())) reference.remove_suffix(1);
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(reference.size());
    for (const char c : reference) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (byte >= 0x80 || byte < 0x20 || c == ' ' || c == '"' || c == '<' || c == '>' || c == '\\' ||
            c == '^' || c == '`' || c == '{' || c == '|' || c == '}') {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

// Where the path of an absolute "scheme://authority/path?query#fragment" URL
// starts and ends.
std::pair<std::size_t, std::size_t> pathRange(std::string_view url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) return {url.size(), url.size()};
    const auto start = url.find_first_of("/?#", schemeEnd + 3);
    if (start == std::string_view::npos || url[start] != '/') return {url.size(), url.size()};
    auto end = url.find_first_of("?#", start);
    if (end == std::string_view::npos) end = url.size();
    return {start, end};
}

}  // namespace

URLResolver::URLResolver(std::string_view pageURL, std::string_view baseHref)
    : base_(cleanedReference(pageURL)) {
    if (baseHref.empty()) return;
    if (auto base = build(baseHref, base_)) base_ = *base;
}

std::optional<std::string> URLResolver::build(std::string_view reference, std::string_view base) {
    const std::string cleaned = cleanedReference(reference);
    if (cleaned.empty()) return std::nullopt;
    const std::string baseText(base);
    xmlChar* built =
        xmlBuildURI(reinterpret_cast<const xmlChar*>(cleaned.c_str()),
                    baseText.empty() ? nullptr : reinterpret_cast<const xmlChar*>(baseText.c_str()));
    if (built == nullptr) return std::nullopt;
    std::string result(reinterpret_cast<const char*>(built));
    xmlFree(built);
    // libxml2 leaves dot segments in references that start with "/".
    const auto [start, end] = pathRange(result);
    if (result.find("/.", start) < end)
        result.replace(start, end - start,
                       removingDotSegments(std::string_view(result).substr(start, end - start)));
    return result;
}

std::optional<std::string> URLResolver::resolve(std::string_view reference) const {
    auto resolved = build(reference, base_);
    if (!resolved) return std::nullopt;
    if (!startsWithNoCase(*resolved, "http://") && !startsWithNoCase(*resolved, "https://"))
        return std::nullopt;
    if (host(*resolved).empty()) return std::nullopt;
    return resolved;
}

std::string URLResolver::host(std::string_view absoluteURL) {
    const auto schemeEnd = absoluteURL.find("://");
    if (schemeEnd == std::string_view::npos) return {};
    std::string_view authority = absoluteURL.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() != '[') authority = authority.substr(0, authority.find(':'));
    std::string host;
    for (const char c : authority) host += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (host.rfind("www.", 0) == 0) host.erase(0, 4);
    return host;
}

std::string URLResolver::removingDotSegments(std::string_view path) {
    std::string input(path), output;
    while (!input.empty()) {
        if (input.rfind("../", 0) == 0) {
            input.erase(0, 3);
        } else if (input.rfind("./", 0) == 0) {
            input.erase(0, 2);
        } else if (input.rfind("/./", 0) == 0) {
            input.erase(0, 2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.rfind("/../", 0) == 0 || input == "/..") {
            input = input == "/.." ? "/" : input.substr(3);
            const auto lastSlash = output.rfind('/');
            output.erase(lastSlash == std::string::npos ? 0 : lastSlash);
        } else if (input == "." || input == "..") {
            input.clear();
        } else {
            const auto next = input.find('/', input[0] == '/' ? 1 : 0);
            output += input.substr(0, next);
            input.erase(0, next == std::string::npos ? input.size() : next);
        }
    }
    return output;
}

}  // namespace tallowmere::readability
