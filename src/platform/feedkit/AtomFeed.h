#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::feedkit {

// Atom 1.0 and 0.3 as read from the document. Plain data, grouped here because
// the types only make sense together. An element's `attributes` is absent when
// the element carries no attribute at all.

struct AtomLinkAttributes {
    std::optional<std::string> href;
    std::optional<std::string> rel;
    std::optional<std::string> type;
    std::optional<std::string> title;
};

struct AtomCategoryAttributes {
    std::optional<std::string> term;
    std::optional<std::string> scheme;
    std::optional<std::string> label;
};

struct AtomFeedLink {
    std::optional<AtomLinkAttributes> attributes;
};
using AtomFeedEntryLink = AtomFeedLink;

struct AtomFeedCategory {
    std::optional<AtomCategoryAttributes> attributes;
};
using AtomFeedEntryCategory = AtomFeedCategory;

// A text construct: `value` is plain text or HTML as the document has it, or,
// for xhtml, the inner markup serialised.
struct AtomText {
    std::optional<std::string> value;
    std::optional<std::string> type;
};
using AtomFeedEntryContent = AtomText;
using AtomFeedEntrySummary = AtomText;

struct AtomFeedEntryAuthor {
    std::optional<std::string> name;
    std::optional<std::string> email;
    std::optional<std::string> uri;
};

struct AtomFeedEntry {
    std::optional<std::string> title;
    std::optional<std::string> id;
    std::optional<std::vector<AtomFeedEntryLink>> links;
    std::optional<AtomFeedEntryContent> content;
    std::optional<AtomFeedEntrySummary> summary;
    std::optional<std::chrono::system_clock::time_point> updated;
    std::optional<std::chrono::system_clock::time_point> published;
    std::optional<std::vector<AtomFeedEntryCategory>> categories;
    std::optional<std::vector<AtomFeedEntryAuthor>> authors;
};

struct AtomFeed {
    std::optional<std::string> title;
    std::optional<std::string> subtitle;
    std::optional<std::vector<AtomFeedLink>> links;
    std::optional<std::chrono::system_clock::time_point> updated;
    std::optional<std::vector<AtomFeedCategory>> categories;
    std::optional<std::vector<AtomFeedEntryAuthor>> authors;
    std::optional<std::vector<AtomFeedEntry>> entries;
};

}  // namespace tallowmere::feedkit
