#include "platform/readability/PageMetadata.h"

#include <cctype>

#include "platform/readability/HtmlNames.h"

namespace tallowmere::readability {

namespace {

std::string lowercased(std::string_view text) {
    std::string out;
    for (const char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string collapsedWhiteSpace(std::string_view text) {
    std::string out;
    bool space = false;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = !out.empty();
        } else {
            if (space) out += ' ';
            space = false;
            out += c;
        }
    }
    return out;
}

std::string textOf(const xmlNode* element) {
    std::string text;
    for (const xmlNode* child = element->children; child != nullptr; child = child->next)
        if (child->type == XML_TEXT_NODE && child->content != nullptr)
            text += reinterpret_cast<const char*>(child->content);
    return text;
}

bool hasWord(std::string_view list, std::string_view word) {
    const std::string lowered = lowercased(list);
    std::size_t start = 0;
    while (start < lowered.size()) {
        const auto end = std::min(lowered.find_first_of(" \t\n\r\f", start), lowered.size());
        if (std::string_view(lowered).substr(start, end - start) == word) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

PageMetadata::PageMetadata(xmlNodePtr root) {
    for (xmlNodePtr node = root; node != nullptr; node = HtmlNames::next(node, root))
        if (HtmlNames::isElement(node)) read(node);
    if (title_.empty()) {
        const auto ogTitle = metaValues({"og:title"});
        if (!ogTitle.empty()) title_ = collapsedWhiteSpace(ogTitle.front());
    }
}

void PageMetadata::read(xmlNodePtr element) {
    const std::string_view name = HtmlNames::name(element);
    if (name == "meta") {
        std::string_view key = HtmlNames::attribute(element, "property");
        if (key.empty()) key = HtmlNames::attribute(element, "name");
        std::string_view value = HtmlNames::attribute(element, "content");
        if (!key.empty() && !value.empty()) meta_.try_emplace(lowercased(key), value);
    } else if (name == "link") {
        if (imageSource_.empty() && hasWord(HtmlNames::attribute(element, "rel"), "image_src"))
            imageSource_ = HtmlNames::attribute(element, "href");
    } else if (name == "base") {
        if (baseHref_.empty()) baseHref_ = HtmlNames::attribute(element, "href");
    } else if (name == "title") {
        if (title_.empty()) title_ = collapsedWhiteSpace(textOf(element));
    }
}

std::vector<std::string> PageMetadata::metaValues(std::initializer_list<std::string_view> keys) const {
    std::vector<std::string> values;
    for (const std::string_view key : keys)
        if (auto found = meta_.find(key); found != meta_.end()) values.push_back(found->second);
    return values;
}

}  // namespace tallowmere::readability
