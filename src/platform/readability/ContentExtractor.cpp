#include "platform/readability/ContentExtractor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "platform/readability/HtmlNames.h"
#include "platform/readability/NodeHints.h"
#include "platform/readability/TextRenderer.h"

namespace tallowmere::readability {

namespace {

// A block shorter than this is a caption or a label, not a paragraph; a
// short one still counts a little, for pages of many short posts.
constexpr double minimumParagraphChars = 25;
constexpr double shortParagraphChars = 8;
constexpr double shortParagraphPoints = 0.5;
// One long list of names separated by commas is not prose.
constexpr int maximumCommas = 10;
// Text outside paragraphs (lines split by <br>) scores as paragraphs of about this size.
constexpr double looseTextPiece = 300;
// How much of a paragraph's score its parent, grandparent and great-grandparent get.
constexpr std::array<double, 3> creditShares{1.0, 0.5, 0.25};
// A container whose class or id says "furniture" is still kept when it holds
// more than this share of the page's text: some pages put "has-sidebar" on
// the wrapper of everything.
constexpr double mostOfThePage = 0.5;

template <std::size_t N>
bool isOneOf(std::string_view name, const std::array<std::string_view, N>& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

constexpr std::array<std::string_view, 17> neverContent{
    "script",   "style", "noscript", "template", "link",   "meta",  "button",   "input", "select",
    "textarea", "svg",   "math",     "canvas",   "applet", "frame", "frameset", "dialog"};
constexpr std::array<std::string_view, 6> structuralFurniture{"nav",    "aside", "footer",
                                                              "header", "form",  "menu"};
constexpr std::array<std::string_view, 9> containers{"div",        "section", "article", "main", "center",
                                                     "blockquote", "td",      "li",      "dd"};
// Inside these a candidate is part of a table or a list, not an article of its own.
constexpr std::array<std::string_view, 11> tableOrList{"table", "thead", "tbody", "tfoot", "tr", "td",
                                                       "th",    "ul",    "ol",    "li",    "dl"};
constexpr std::array<std::string_view, 9> droppableContainers{"div", "section", "ul",     "ol",    "table",
                                                              "dl",  "center",  "figure", "header"};

bool isUncountedText(const xmlNode* text) {
    const std::string_view parent = HtmlNames::name(text->parent);
    return parent == "script" || parent == "style" || parent == "noscript" || parent == "template";
}

void countText(const char* text, float& chars, std::int32_t& commas) {
    bool inSpace = true;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        const unsigned char c = *p;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            if (!inSpace) ++chars;
            inSpace = true;
        } else if ((c & 0xC0) != 0x80) {
            ++chars;
            inSpace = false;
            if (c == ',') ++commas;
            // Full-width and ideographic commas.
            if (c == 0xEF && p[1] == 0xBC && p[2] == 0x8C) ++commas;
            if (c == 0xE3 && p[1] == 0x80 && p[2] == 0x81) ++commas;
        }
    }
}

double tagScore(std::string_view name) {
    if (name == "article" || name == "main") return 10;
    if (name == "div") return 5;
    if (name == "section") return 3;
    if (name == "pre" || name == "td" || name == "blockquote") return 3;
    if (name == "address" || name == "ol" || name == "ul" || name == "dl" || name == "dd" || name == "dt" ||
        name == "li" || name == "form")
        return -3;
    if (name == "th" || (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6')) return -5;
    return 0;
}

bool endsLikeSentence(const std::string& text) {
    const auto last = text.find_last_not_of(" \t\n");
    if (last == std::string::npos) return false;
    const char c = text[last];
    return c == '.' || c == '!' || c == '?' || text.find(". ") != std::string::npos;
}

}  // namespace

ContentExtractor::ContentExtractor(xmlNodePtr body, Options options)
    : body_(body), options_(std::move(options)) {}

std::vector<xmlNodePtr> ContentExtractor::extract() {
    measure();
    prune();
    measure();
    score();
    xmlNodePtr best = bestCandidate();
    // A page without one paragraph of text: all the text it has.
    if (best == nullptr) return options_.bodyWithoutParagraphs ? std::vector<xmlNodePtr>{body_} : std::vector<xmlNodePtr>{};
    best = enclosingArticle(best);
    const double bestScore = finalScore(best);
    for (xmlNodePtr node = best; node != nullptr && stats(node) != nullptr; node = node->parent)
        stats(node)->kept = true;
    const xmlNodePtr top = widened(best, bestScore);
    std::vector<xmlNodePtr> content = withSiblings(top, std::max(bestScore, finalScore(top)));
    for (xmlNodePtr container : content) clean(container);
    return content;
}

ContentExtractor::Stats* ContentExtractor::stats(const xmlNode* node) {
    if (!HtmlNames::isElement(node) || node->_private == nullptr) return nullptr;
    const auto index = reinterpret_cast<std::uintptr_t>(node->_private) - 1;
    return index < stats_.size() && elements_[index] == node ? &stats_[index] : nullptr;
}

const ContentExtractor::Stats* ContentExtractor::stats(const xmlNode* node) const {
    return const_cast<ContentExtractor*>(this)->stats(node);
}

double ContentExtractor::linkDensity(const xmlNode* node) const {
    const Stats* s = stats(node);
    return s == nullptr || s->chars == 0 ? 0 : s->linkChars / s->chars;
}

double ContentExtractor::finalScore(const xmlNode* node) const {
    const Stats* s = stats(node);
    return s == nullptr ? 0 : s->score * (1 - linkDensity(node));
}

void ContentExtractor::remove(xmlNodePtr node) {
    xmlUnlinkNode(node);
    xmlFreeNode(node);
}

// Text lengths and counts of every element, from the leaves up, in one pass
// each way; nothing recursive, so deep nesting costs no stack.
void ContentExtractor::measure() {
    elements_.clear();
    stats_.clear();
    candidates_.clear();
    std::size_t count = 0;
    for (xmlNodePtr node = body_; node != nullptr; node = HtmlNames::next(node, body_))
        count += HtmlNames::isElement(node) ? 1 : 0;
    elements_.reserve(count);
    stats_.reserve(count);
    for (xmlNodePtr node = body_; node != nullptr; node = HtmlNames::next(node, body_)) {
        if (HtmlNames::isElement(node)) {
            elements_.push_back(node);
            stats_.emplace_back();
            node->_private = reinterpret_cast<void*>(static_cast<std::uintptr_t>(elements_.size()));
        } else if (node->type == XML_TEXT_NODE && node->content != nullptr && !isUncountedText(node)) {
            if (Stats* parent = stats(node->parent))
                countText(reinterpret_cast<const char*>(node->content), parent->chars, parent->commas);
        }
    }
    for (std::size_t i = elements_.size(); i-- > 0;) {
        const xmlNodePtr element = elements_[i];
        Stats& s = stats_[i];
        const std::string_view name = HtmlNames::name(element);
        if (name == "a") s.linkChars = s.chars;
        if (name == "p") ++s.paragraphs;
        if ((name == "iframe" || name == "video" || name == "embed" || name == "object") &&
            options_.isVideoEmbed && options_.isVideoEmbed(element))
            ++s.videos;
        if (element == body_) continue;
        Stats* parent = stats(element->parent);
        if (parent == nullptr) continue;
        parent->chars += s.chars;
        parent->linkChars += s.linkChars;
        parent->commas += s.commas;
        parent->paragraphs += s.paragraphs;
        parent->videos += s.videos;
        if (HtmlNames::isBlock(element)) {
            parent->hasBlockChild = true;
            parent->blockChildChars += s.chars;
            parent->blockChildCommas += s.commas;
        }
    }
}

void ContentExtractor::prune() {
    const Stats* body = stats(body_);
    const double bodyChars = body == nullptr ? 0 : body->chars;
    xmlNodePtr node = HtmlNames::next(body_, body_);
    while (node != nullptr) {
        if (shouldPrune(node, bodyChars)) {
            xmlNodePtr following = HtmlNames::nextSkippingChildren(node, body_);
            remove(node);
            node = following;
        } else {
            node = HtmlNames::next(node, body_);
        }
    }
}

bool ContentExtractor::shouldPrune(const xmlNode* node, double bodyChars) {
    if (node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE) return true;
    if (!HtmlNames::isElement(node)) return false;
    const std::string_view name = HtmlNames::name(node);
    if (isOneOf(name, neverContent)) return true;
    // What the reader cannot see is never the article, however long.
    if (NodeHints::isHidden(node)) return true;
    const bool byHints = !isOneOf(name, structuralFurniture);
    const bool unlikely = options_.pruneByHints ? NodeHints::isUnlikelyContent(node) : NodeHints::isComments(node);
    if (byHints && !unlikely) return false;
    const Stats* s = stats(node);
    if (s != nullptr && s->chars > mostOfThePage * bodyChars) return false;
    if (byHints) {
        prunedByHints_ = true;
        // Reader comments stay cut away in a reading without hints too, so
        // they are no sign that the article itself was lost.
        if (s != nullptr && !NodeHints::isComments(node))
            largestPrunedByHints_ = std::max(largestPrunedByHints_, static_cast<double>(s->chars));
    }
    return true;
}

void ContentExtractor::score() {
    for (xmlNodePtr element : elements_) {
        const Paragraph paragraph = paragraphOf(element);
        if (paragraph.chars < shortParagraphChars) continue;
        double points = shortParagraphPoints;
        if (paragraph.chars >= minimumParagraphChars) {
            // Loose text of a container (lines split by <br>) counts as the
            // paragraphs it would have been, not as one.
            const double pieces = paragraph.loose ? std::ceil(paragraph.chars / looseTextPiece) : 1;
            points = pieces + std::min(paragraph.commas, maximumCommas * static_cast<int>(pieces)) +
                     std::min(std::floor(paragraph.chars / 100.0), 3.0 * pieces);
        }
        if (Stats* s = stats(paragraph.firstCredited)) s->points += static_cast<float>(points);
        xmlNodePtr ancestor = paragraph.firstCredited;
        for (const double share : creditShares) {
            if (stats(ancestor) == nullptr) break;
            credit(ancestor, points * share);
            if (ancestor == body_) break;
            ancestor = ancestor->parent;
        }
    }
    // Every element's points are those of the paragraphs inside it.
    for (std::size_t i = elements_.size(); i-- > 0;) {
        if (elements_[i] == body_) continue;
        if (Stats* parent = stats(elements_[i]->parent)) parent->points += stats_[i].points;
    }
}

// A paragraph's text and the element its score goes to first. Besides <p>,
// <pre> and table cells, a container without block children is a paragraph
// (pages that separate paragraphs by <br>), and so is the loose text of a
// container that also has block children.
ContentExtractor::Paragraph ContentExtractor::paragraphOf(xmlNodePtr element) {
    const Stats* s = stats(element);
    const std::string_view name = HtmlNames::name(element);
    if (name == "p" || name == "pre") return {s->chars, s->commas, element->parent, false};
    if (isOneOf(name, containers) && !s->hasBlockChild) return {s->chars, s->commas, element->parent, true};
    if (isOneOf(name, containers) && s->hasBlockChild)
        return {s->chars - s->blockChildChars, s->commas - s->blockChildCommas, element, true};
    return {};
}

void ContentExtractor::credit(xmlNodePtr element, double points) {
    Stats* s = stats(element);
    if (!s->candidate) {
        s->candidate = true;
        s->score = tagScore(HtmlNames::name(element)) + hintWeight(element);
        candidates_.push_back(element);
    }
    s->score += points;
}

// The reading without hints ignores what class and id say, both ways.
int ContentExtractor::hintWeight(const xmlNode* element) const {
    return options_.pruneByHints ? NodeHints::weight(element) : 0;
}

double ContentExtractor::worth(const xmlNode* node) const {
    const Stats* s = stats(node);
    return s == nullptr ? 0 : s->points * (1 - linkDensity(node));
}

// A candidate inside a table or a list (a data table, a gallery's captions)
// is part of the article around it; so is anything inside the page's
// declared article body.
xmlNodePtr ContentExtractor::enclosingArticle(xmlNodePtr best) const {
    xmlNodePtr node = best;
    while (node != body_ && stats(node->parent) != nullptr && isOneOf(HtmlNames::name(node), tableOrList))
        node = node->parent;
    // The table or list sits in something with paragraphs of its own beside it.
    if (node != body_ && node != best && isOneOf(HtmlNames::name(best), tableOrList) &&
        worth(node) >= worth(best) + 3 && linkDensity(node) < 0.5)
        best = node;
    for (xmlNodePtr ancestor = best->parent; stats(ancestor) != nullptr && ancestor != body_;
         ancestor = ancestor->parent) {
        if (HtmlNames::is(ancestor, "article") || HtmlNames::attribute(ancestor, "itemprop") == "articleBody") {
            // Clearly more of the article than the part that won, not just a dateline more.
            if (worth(ancestor) >= 1.25 * worth(best)) return ancestor;
            break;
        }
    }
    return best;
}

xmlNodePtr ContentExtractor::bestCandidate() const {
    xmlNodePtr best = nullptr;
    double bestScore = 0;
    for (xmlNodePtr candidate : candidates_) {
        const double score = finalScore(candidate);
        if (best == nullptr || score > bestScore) {
            best = candidate;
            bestScore = score;
        }
    }
    return best;
}

// When the text is split over several near-equal containers, their common
// ancestor is the content.
xmlNodePtr ContentExtractor::widened(xmlNodePtr top, double topScore) const {
    constexpr std::size_t rivalsNeeded = 3;
    std::vector<std::pair<double, xmlNodePtr>> rivals;
    for (xmlNodePtr candidate : candidates_) {
        const double score = finalScore(candidate);
        if (candidate != top && score >= 0.75 * topScore && !HtmlNames::isAncestor(candidate, top) &&
            !HtmlNames::isAncestor(top, candidate))
            rivals.emplace_back(score, candidate);
    }
    if (rivals.size() < rivalsNeeded) return top;
    std::sort(rivals.begin(), rivals.end(), [](auto& a, auto& b) { return a.first > b.first; });
    rivals.resize(std::min<std::size_t>(rivals.size(), 5));
    for (xmlNodePtr ancestor = top->parent; stats(ancestor) != nullptr; ancestor = ancestor->parent) {
        const auto inside = std::count_if(rivals.begin(), rivals.end(), [&](auto& rival) {
            return HtmlNames::isAncestor(ancestor, rival.second);
        });
        if (static_cast<std::size_t>(inside) >= rivalsNeeded) return ancestor;
        if (ancestor == body_) break;
    }
    return top;
}

std::vector<xmlNodePtr> ContentExtractor::withSiblings(xmlNodePtr top, double topScore) {
    if (top == body_ || stats(top->parent) == nullptr) return {top};
    std::vector<xmlNodePtr> content;
    for (xmlNodePtr sibling = top->parent->children; sibling != nullptr; sibling = sibling->next)
        if (sibling == top || (HtmlNames::isElement(sibling) && isWorthySibling(sibling, top, topScore)))
            content.push_back(sibling);
    // An article split into chunks (by ads, embeds, sections, table cells)
    // whose wrappers hold nothing else: the later chunks are siblings of
    // the wrappers, a level or two up.
    xmlNodePtr level = top;
    for (int up = 0; up < 3; ++up) {
        xmlNodePtr parent = level->parent;
        if (parent == body_ || stats(parent) == nullptr || stats(parent->parent) == nullptr) break;
        if (worth(parent) >= 1.1 * worth(level) + 1) break;  // the wrapper has text of its own
        for (xmlNodePtr sibling = parent->parent->children; sibling != nullptr; sibling = sibling->next)
            if (sibling != parent && HtmlNames::isElement(sibling) && isWorthyPart(sibling, top))
                content.push_back(sibling);
        level = parent;
    }
    std::sort(content.begin(), content.end(), [](xmlNodePtr a, xmlNodePtr b) {
        return reinterpret_cast<std::uintptr_t>(a->_private) < reinterpret_cast<std::uintptr_t>(b->_private);
    });
    return content;
}

// Another part of a split article: paragraphs inside, few links, no furniture hint.
bool ContentExtractor::isWorthyPart(xmlNodePtr element, xmlNodePtr top) const {
    return hintWeight(element) >= 0 && linkDensity(element) < 0.25 &&
           worth(element) >= std::max(3.0, 0.2 * worth(top));
}

bool ContentExtractor::isWorthySibling(xmlNodePtr sibling, xmlNodePtr top, double topScore) {
    const Stats* s = stats(sibling);
    if (s == nullptr) return false;
    const double threshold = std::max(10.0, 0.2 * topScore);
    const std::string_view topClass = HtmlNames::attribute(top, "class");
    const double bonus =
        !topClass.empty() && HtmlNames::attribute(sibling, "class") == topClass ? 0.2 * topScore : 0;
    if (s->candidate && finalScore(sibling) + bonus >= threshold) return true;
    if (isWorthyPart(sibling, top)) return true;
    if (!HtmlNames::is(sibling, "p")) return false;
    const double density = linkDensity(sibling);
    if (s->chars > 80) return density < 0.25;
    return s->chars > 0 && density == 0 && endsLikeSentence(TextRenderer::render(sibling));
}

void ContentExtractor::clean(xmlNodePtr container) {
    xmlNodePtr node = HtmlNames::next(container, container);
    while (node != nullptr) {
        if (HtmlNames::isElement(node) && shouldDrop(node)) {
            xmlNodePtr following = HtmlNames::nextSkippingChildren(node, container);
            remove(node);
            node = following;
        } else {
            node = HtmlNames::next(node, container);
        }
    }
}

bool ContentExtractor::shouldDrop(xmlNodePtr element) {
    const Stats* s = stats(element);
    if (s == nullptr || s->kept) return false;
    // Headings that link to themselves are common, so links do not count against them.
    if (HtmlNames::isHeading(element)) return hintWeight(element) < 0 || repeatsTitle(element);
    if (!isOneOf(HtmlNames::name(element), droppableContainers) || s->videos > 0) return false;
    const int weight = hintWeight(element);
    if (weight < 0) return true;
    if (s->commas >= 10) return false;  // prose
    const double density = linkDensity(element);
    if (density > 0.5) return true;
    if (!s->hasBlockChild) return false;  // a paragraph in a <div>: judged as a <p> is
    return density > 0.2 && weight < 25 && s->paragraphs <= 2 && s->chars < 500;
}

bool ContentExtractor::repeatsTitle(xmlNodePtr heading) const {
    if (options_.title.empty()) return false;
    // "Headline | Site name" titles: the heading is most of the title.
    const std::string text = TextRenderer::render(heading);
    return text.size() >= 10 && text.size() * 2 >= options_.title.size() &&
           options_.title.find(text) != std::string::npos;
}

}  // namespace tallowmere::readability
