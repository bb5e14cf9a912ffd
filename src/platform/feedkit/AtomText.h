#pragma once

#include <optional>
#include <string>

namespace tallowmere::feedkit {

// A text construct: `value` is plain text or HTML as the document has it, or,
// for xhtml, the inner markup serialised; absent for content kept elsewhere (src).
struct AtomText {
    std::optional<std::string> value;
    std::optional<std::string> type;
};

using AtomFeedEntryContent = AtomText;
using AtomFeedEntrySummary = AtomText;

}  // namespace tallowmere::feedkit
