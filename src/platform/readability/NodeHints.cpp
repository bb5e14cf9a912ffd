#include "platform/readability/NodeHints.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>

#include "platform/readability/HtmlNames.h"

namespace tallowmere::readability {

namespace {

constexpr int hintWeight = 25;

// Tokens are the lower-cased words of class and id: "entry-content share_bar"
// gives "entry", "content", "share", "bar", and camel case is split too
// ("shareBar" gives "share", "bar"). A hint is a whole token, never a piece of
// one, so ids made from headings ("subscriptions-are-dead") and longer words
// ("commentary", "adventure") are not taken for furniture.
constexpr std::array<std::string_view, 49> furnitureWords{
    "comment",  "comments",   "commentlist", "sidebar",  "footer",     "sharing",   "share",    "social",
    "related",  "advert",     "advertising", "advertisement", "sponsor", "sponsored", "promo", "promoted",
    "newsletter", "subscribe", "subscription", "cookie", "cookies",   "popup",     "breadcrumb",
    "breadcrumbs", "navbar",  "navigation",  "masthead", "widget",     "widgets",   "disqus",   "pagination",
    "outbrain", "taboola",    "mainnav",     "subnav",   "topnav",     "ad",        "ads",      "adv",
    "nav",      "menu",       "foot",        "aside",    "shares",     "banner",    "pager",    "tags",
    "login",    "signup"};
constexpr std::array<std::string_view, 4> moreFurnitureWords{"trending", "popular", "recommended", "rss"};
// Reader comments are what a reading without hints would most likely take
// for the article; they stay cut away even then.
constexpr std::array<std::string_view, 5> commentWords{"comment", "comments", "commentlist", "disqus",
                                                       "replies"};
constexpr std::array<std::string_view, 10> contentWords{"article", "content", "entry", "story", "post",
                                                        "hentry",  "main",    "body",  "text",  "prose"};
constexpr std::array<std::string_view, 9> furnitureRoles{
    "navigation", "complementary", "contentinfo", "banner", "search", "menu", "menubar", "dialog", "alert"};
constexpr std::array<std::string_view, 7> decorativeWords{"avatar",  "icon",   "emoji", "logo",
                                                          "spinner", "spacer", "badge"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& words, std::string_view token) {
    return std::find(words.begin(), words.end(), token) != words.end();
}

template <std::size_t N>
bool containsFragmentOf(const std::array<std::string_view, N>& fragments, std::string_view token) {
    return std::any_of(fragments.begin(), fragments.end(),
                       [&](std::string_view f) { return token.find(f) != std::string_view::npos; });
}

bool isFurnitureToken(std::string_view token) {
    return contains(furnitureWords, token) || contains(moreFurnitureWords, token);
}

bool isContentToken(std::string_view token) { return contains(contentWords, token); }

struct Hints {
    bool furniture = false;
    bool content = false;
};

template <typename Visit>
void forEachToken(std::string_view text, Visit visit) {
    std::string token;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : ' ';
        const bool camelBoundary = std::isupper(c) && i > 0 && std::islower(static_cast<unsigned char>(text[i - 1]));
        if (camelBoundary && !token.empty()) {
            visit(std::string_view(token));
            token.clear();
        }
        if (std::isalnum(c)) {
            token += static_cast<char>(std::tolower(c));
        } else if (!token.empty()) {
            visit(std::string_view(token));
            token.clear();
        }
    }
}

Hints hintsOf(const xmlNode* element) {
    Hints hints;
    const auto visit = [&](std::string_view token) {
        if (isFurnitureToken(token))
            hints.furniture = true;
        else if (isContentToken(token))
            hints.content = true;
    };
    forEachToken(HtmlNames::attribute(element, "class"), visit);
    forEachToken(HtmlNames::attribute(element, "id"), visit);
    return hints;
}

std::string lowercasedWithoutSpaces(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

int NodeHints::weight(const xmlNode* element) {
    const Hints hints = hintsOf(element);
    int weight = 0;
    if (hints.content) weight += hintWeight;
    if (hints.furniture) weight -= hintWeight;
    if (HtmlNames::attribute(element, "itemprop") == "articleBody") weight += hintWeight;
    return weight;
}

bool NodeHints::isUnlikelyContent(const xmlNode* element) {
    // A content word does not outweigh a furniture word here: "article-comments"
    // and "entry-share" are furniture. Only the page's declared main part is safe.
    if (HtmlNames::is(element, "main") || HtmlNames::attribute(element, "itemprop") == "articleBody")
        return false;
    if (hintsOf(element).furniture) return true;
    return contains(furnitureRoles, HtmlNames::attribute(element, "role"));
}

bool NodeHints::isComments(const xmlNode* element) {
    bool comments = false;
    const auto visit = [&](std::string_view token) { comments = comments || contains(commentWords, token); };
    forEachToken(HtmlNames::attribute(element, "class"), visit);
    forEachToken(HtmlNames::attribute(element, "id"), visit);
    return comments;
}

bool NodeHints::isHidden(const xmlNode* element) {
    if (HtmlNames::hasAttribute(element, "hidden")) return true;
    if (HtmlNames::attribute(element, "aria-hidden") == "true") return true;
    const std::string style = lowercasedWithoutSpaces(HtmlNames::attribute(element, "style"));
    return style.find("display:none") != std::string::npos ||
           style.find("visibility:hidden") != std::string::npos;
}

bool NodeHints::isDecorativeImage(const xmlNode* element) {
    bool decorative = false;
    const auto visit = [&](std::string_view token) {
        if (containsFragmentOf(decorativeWords, token)) decorative = true;
    };
    forEachToken(HtmlNames::attribute(element, "class"), visit);
    forEachToken(HtmlNames::attribute(element, "id"), visit);
    return decorative;
}

}  // namespace tallowmere::readability
