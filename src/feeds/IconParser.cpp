#include "feeds/IconParser.h"

#include <vector>

#include "platform/htmlquery/HTMLDocument.h"

namespace tallowmere {

const std::array<std::optional<std::string_view>, 14> IconParser::preferredSizes = {
    "57x57",   std::nullopt, "60x60",   "72x72",   "76x76", "114x114", "120x120",
    "144x144", "152x152",    "167x167", "180x180", "96x96", "32x32",   "16x16",
};

namespace {

struct Candidate {
    std::string href;
    std::optional<std::string> sizes;
};

// The links of the first query that finds any; the second is tried only when
// the first finds none.
std::vector<htmlquery::HTMLNode> iconLinkNodes(const htmlquery::HTMLDocument& document) {
    for (const char* expression : {R"(//link[starts-with(@rel, "apple-touch-icon")])",
                                   R"(//link[contains(@rel, "icon")])"}) {
        if (auto nodes = document.xPath(expression); nodes && !nodes->empty()) return std::move(*nodes);
    }
    return {};
}

std::vector<Candidate> candidates(const std::vector<htmlquery::HTMLNode>& nodes) {
    std::vector<Candidate> result;
    for (const auto& node : nodes) {
        auto href = node["href"];
        if (!href || href->ends_with(".svg")) continue;
        result.push_back({std::move(*href), node["sizes"]});
    }
    return result;
}

}  // namespace

std::optional<std::string> IconParser::iconLink(std::span<const std::uint8_t> html) {
    const auto document = htmlquery::HTMLDocument::parse(html);
    if (!document) return std::nullopt;
    const auto links = candidates(iconLinkNodes(*document));
    for (const auto& size : preferredSizes) {
        for (const auto& link : links) {
            const bool matches = size ? link.sizes == *size : !link.sizes.has_value();
            if (matches) return link.href;
        }
    }
    if (links.empty()) return std::nullopt;
    return links.front().href;
}

}  // namespace tallowmere
