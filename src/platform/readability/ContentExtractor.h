#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tallowmere::readability {

// Finds the elements that hold a page's main content, by content scoring:
// page furniture is cut away, every paragraph-like block scores by its
// length and commas for its parent and grandparents, link-heavy containers
// lose, class and id hints count; the best container is taken with those of
// its siblings that score well, then cleared of link lists and furniture.
// Works on the document in place.
class ContentExtractor {
public:
    using ElementTest = std::function<bool(const xmlNode*)>;

    struct Options {
        std::string title;         // the page's title, dropped where the content repeats it as a heading
        ElementTest isVideoEmbed;  // video players survive the clean-up
        // Drop elements whose class or id says they are furniture; without, only
        // reader comments are dropped by their hints.
        bool pruneByHints = true;
        // A page without one paragraph of text gives all its text.
        bool bodyWithoutParagraphs = false;
    };

    ContentExtractor(xmlNodePtr body, Options options);

    // The content's elements in document order; empty when the page has no
    // paragraph of text.
    std::vector<xmlNodePtr> extract();
    // Whether the class and id hints cut anything away, and the most text one
    // element cut away that way held.
    bool prunedByHints() const { return prunedByHints_; }
    double largestPrunedByHints() const { return largestPrunedByHints_; }

private:
    // One per element; kept small, as a hostile page can hold millions of elements.
    struct Stats {
        float chars = 0;            // white space collapsed
        float linkChars = 0;        // of those, inside links
        float blockChildChars = 0;  // inside block-level children
        float score = 0;
        float points = 0;  // of the paragraphs inside, wherever they credited their score
        std::int32_t commas = 0;
        std::int32_t blockChildCommas = 0;
        std::int32_t paragraphs = 0;
        std::int32_t videos = 0;
        bool hasBlockChild = false;
        bool candidate = false;
        bool kept = false;  // the chosen container and its ancestors
    };
    struct Paragraph {
        float chars = 0;
        int commas = 0;
        xmlNodePtr firstCredited = nullptr;
        bool loose = false;  // text of a container rather than of a <p>
    };

    void measure();
    void prune();
    bool shouldPrune(const xmlNode* node, double bodyChars);
    void score();
    Paragraph paragraphOf(xmlNodePtr element);
    void credit(xmlNodePtr element, double points);
    xmlNodePtr bestCandidate() const;
    xmlNodePtr enclosingArticle(xmlNodePtr best) const;
    double worth(const xmlNode* node) const;
    int hintWeight(const xmlNode* element) const;
    xmlNodePtr widened(xmlNodePtr top, double topScore) const;
    std::vector<xmlNodePtr> withSiblings(xmlNodePtr top, double topScore);
    bool isWorthySibling(xmlNodePtr sibling, xmlNodePtr top, double topScore);
    bool isWorthyPart(xmlNodePtr element, xmlNodePtr top) const;
    void clean(xmlNodePtr container);
    bool shouldDrop(xmlNodePtr element);
    bool repeatsTitle(xmlNodePtr heading) const;

    Stats* stats(const xmlNode* node);
    const Stats* stats(const xmlNode* node) const;
    double linkDensity(const xmlNode* node) const;
    double finalScore(const xmlNode* node) const;
    static void remove(xmlNodePtr node);

    xmlNodePtr body_;
    Options options_;
    std::vector<xmlNodePtr> elements_;  // document order
    std::vector<Stats> stats_;          // by index stored in the element's _private
    std::vector<xmlNodePtr> candidates_;
    bool prunedByHints_ = false;
    double largestPrunedByHints_ = 0;
};

}  // namespace tallowmere::readability
