#include "platform/readability/MediaFinder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "platform/readability/HtmlNames.h"
#include "platform/readability/NodeHints.h"

namespace tallowmere::readability {

namespace {

// Hosts that serve embeddable video players (matched with their subdomains).
constexpr std::array<std::string_view, 20> videoHosts{
    "youtube.com", "youtube-nocookie.com", "youtu.be",   "vimeo.com",    "dailymotion.com", "dai.ly",
    "twitch.tv",   "wistia.com",           "wistia.net", "jwplayer.com", "jwplatform.com",  "brightcove.net",
    "kaltura.com", "streamable.com",       "rumble.com", "vidyard.com",  "loom.com",        "bilibili.com",
    "ted.com",     "video.ibm.com"};
constexpr std::array<std::string_view, 5> videoFileExtensions{".mp4", ".webm", ".m3u8", ".mov", ".ogv"};

bool hostMatches(const std::string& host, std::string_view expected) {
    if (host == expected) return true;
    return host.size() > expected.size() &&
           host.compare(host.size() - expected.size(), expected.size(), expected) == 0 &&
           host[host.size() - expected.size() - 1] == '.';
}

std::string_view pathOf(std::string_view url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) return {};
    const auto start = url.find('/', schemeEnd + 3);
    if (start == std::string_view::npos) return {};
    std::string_view path = url.substr(start);
    return path.substr(0, path.find_first_of("?#"));
}

std::string lowercased(std::string_view text) {
    std::string out;
    for (const char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A declared width or height in pixels; nothing when absent or relative.
std::optional<int> declaredSide(const xmlNode* image, std::string_view attribute) {
    const std::string_view value = HtmlNames::attribute(image, attribute);
    if (value.empty() || value.find('%') != std::string_view::npos) return std::nullopt;
    int side = 0;
    std::size_t i = 0;
    while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
    const std::size_t digitsStart = i;
    while (i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])) && side < 100000)
        side = side * 10 + (value[i++] - '0');
    if (i == digitsStart) return std::nullopt;
    return side;
}

bool isSizeable(const xmlNode* image) {
    const auto width = declaredSide(image, "width");
    const auto height = declaredSide(image, "height");
    return !(width && *width < MediaFinder::minimumImageSide) &&
           !(height && *height < MediaFinder::minimumImageSide);
}

std::string firstSourceOfSet(std::string_view srcset) {
    while (!srcset.empty() && std::isspace(static_cast<unsigned char>(srcset.front())))
        srcset.remove_prefix(1);
    const auto end = srcset.find_first_of(" \t\n\r\f");
    std::string_view first = srcset.substr(0, end);
    if (!first.empty() && first.back() == ',') first.remove_suffix(1);
    return std::string(first);
}

// Calls `visit` on every element of `content` in document order until it
// returns a value.
template <typename Visit>
std::optional<std::string> firstInContent(const std::vector<xmlNodePtr>& content, Visit visit) {
    for (xmlNodePtr top : content)
        for (xmlNodePtr node = top; node != nullptr; node = HtmlNames::next(node, top))
            if (HtmlNames::isElement(node))
                if (auto found = visit(node)) return found;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> MediaFinder::firstResolved(const std::vector<std::string>& references) const {
    for (const std::string& reference : references)
        if (auto resolved = resolver_.resolve(reference)) return resolved;
    return std::nullopt;
}

std::optional<std::string> MediaFinder::announcedImage(const PageMetadata& metadata) const {
    std::vector<std::string> announced = metadata.metaValues(
        {"og:image", "og:image:url", "og:image:secure_url", "twitter:image", "twitter:image:src"});
    if (!metadata.imageSource().empty()) announced.push_back(metadata.imageSource());
    return firstResolved(announced);
}

std::optional<std::string> MediaFinder::imageInContent(const std::vector<xmlNodePtr>& content) const {
    return firstInContent(content, [&](const xmlNode* element) -> std::optional<std::string> {
        if (!HtmlNames::is(element, "img") || NodeHints::isDecorativeImage(element) || !isSizeable(element))
            return std::nullopt;
        return imageSource(element);
    });
}

std::optional<std::string> MediaFinder::announcedVideo(const PageMetadata& metadata) const {
    return firstResolved(metadata.metaValues({"og:video", "og:video:url", "og:video:secure_url"}));
}

std::optional<std::string> MediaFinder::videoInContent(const std::vector<xmlNodePtr>& content) const {
    return firstInContent(content, [&](const xmlNode* element) { return videoSource(element); });
}

std::optional<std::string> MediaFinder::imageSource(const xmlNode* image) const {
    // Lazy-loading pages keep the real address aside and a placeholder in src.
    std::vector<std::string> references;
    for (const std::string_view attribute : {"data-src", "data-original", "data-lazy-src", "src"})
        references.emplace_back(HtmlNames::attribute(image, attribute));
    for (const std::string_view attribute : {"srcset", "data-srcset"})
        references.push_back(firstSourceOfSet(HtmlNames::attribute(image, attribute)));
    return firstResolved(references);
}

std::optional<std::string> MediaFinder::videoSource(const xmlNode* element) const {
    const std::string_view name = HtmlNames::name(element);
    if (name == "video") {
        if (auto source = resolver_.resolve(HtmlNames::attribute(element, "src"))) return source;
        for (const xmlNode* child = element->children; child != nullptr; child = child->next)
            if (HtmlNames::is(child, "source"))
                if (auto source = resolver_.resolve(HtmlNames::attribute(child, "src"))) return source;
        return std::nullopt;
    }
    std::vector<std::string> references;
    if (name == "iframe" || name == "embed") {
        for (const std::string_view attribute : {"src", "data-src", "data-lazy-src"})
            references.emplace_back(HtmlNames::attribute(element, attribute));
    } else if (name == "object") {
        references.emplace_back(HtmlNames::attribute(element, "data"));
    } else {
        return std::nullopt;
    }
    for (const std::string& reference : references)
        if (auto url = resolver_.resolve(reference); url && isVideoPlayer(*url)) return url;
    return std::nullopt;
}

bool MediaFinder::isVideoPlayer(const std::string& url) {
    const std::string host = URLResolver::host(url);
    const std::string path = lowercased(pathOf(url));
    if (std::any_of(videoHosts.begin(), videoHosts.end(), [&](auto h) { return hostMatches(host, h); }))
        return true;
    if (hostMatches(host, "facebook.com") && path.find("/plugins/video") != std::string::npos) return true;
    return std::any_of(videoFileExtensions.begin(), videoFileExtensions.end(), [&](std::string_view ext) {
        return path.size() >= ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0;
    });
}

}  // namespace tallowmere::readability
