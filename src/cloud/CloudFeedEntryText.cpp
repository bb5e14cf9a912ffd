#include "cloud/CloudFeedEntryText.h"

#include <algorithm>
#include <vector>

#include "foundation/TextOperations.h"

namespace tallowmere {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Every non-empty piece between spaces: runs of spaces give no empty parts.
std::vector<std::string_view> spaceSeparatedParts(std::string_view entry) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= entry.size()) {
        const std::size_t space = entry.find(' ', start);
        const std::size_t end = space == std::string_view::npos ? entry.size() : space;
        if (end > start) parts.push_back(entry.substr(start, end - start));
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return parts;
}

}  // namespace

std::string CloudFeedEntryText::encodeFolder(std::string_view name) {
    std::string encoded;
    encoded.reserve(name.size());
    for (const char c : name) {
        if (c == ' ') {
            encoded += "%20";
        } else if (c == '%') {
            encoded += "%25";
        } else {
            encoded += c;
        }
    }
    return encoded;
}

std::optional<std::string> CloudFeedEntryText::decodeFolder(std::string_view encoded) {
    std::string decoded;
    decoded.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            decoded += encoded[i];
            continue;
        }
        if (i + 2 >= encoded.size()) return std::nullopt;
        const int high = hexValue(encoded[i + 1]);
        const int low = hexValue(encoded[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

std::string CloudFeedEntryText::make(const std::string& urlString, const std::optional<std::string>& folder) {
    if (!folder || folder->empty()) return urlString;
    return urlString + " " + encodeFolder(*folder);
}

std::optional<CloudFeedEntry> CloudFeedEntryText::parse(std::string_view entry) {
    const std::vector<std::string_view> parts = spaceSeparatedParts(entry);
    if (parts.empty()) return std::nullopt;
    CloudFeedEntry parsed{std::string(parts[0]), std::nullopt};
    if (parts.size() > 1) parsed.folder = decodeFolder(parts[1]);
    return parsed;
}

std::vector<CloudFeedEntry> CloudFeedEntryText::parseAll(const std::vector<std::string>& texts) {
    std::vector<CloudFeedEntry> entries;
    entries.reserve(texts.size());
    for (const std::string& text : texts) {
        if (auto entry = parse(text)) entries.push_back(std::move(*entry));
    }
    return entries;
}

std::unordered_set<std::string> CloudFeedEntryText::normalizedURLs(const std::vector<CloudFeedEntry>& entries) {
    std::unordered_set<std::string> urls;
    urls.reserve(entries.size());
    for (const CloudFeedEntry& entry : entries) urls.insert(lowercasedTrimmingSlashes(entry.urlString));
    return urls;
}

bool CloudFeedEntryText::allListed(const std::vector<std::string>& localEntries,
                                   const std::unordered_set<std::string>& normalizedURLs) {
    return std::all_of(localEntries.begin(), localEntries.end(), [&](const std::string& local) {
        return normalizedURLs.contains(lowercasedTrimmingSlashes(local));
    });
}

}  // namespace tallowmere
