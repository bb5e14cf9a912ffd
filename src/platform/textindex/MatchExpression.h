#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/textindex/TermTokenizer.h"

namespace tallowmere::textindex {

// Turns what a user typed into an FTS5 MATCH expression that can only ever
// search for text. The text is split on white space; each word becomes one
// quoted string of its kept terms (so quotes, parentheses, NEAR, AND, "-", "*"
// or ":" in the text are searched for, never obeyed); all words must match;
// the last word is a prefix, unless its last term was dropped.
class MatchExpression {
public:
    // Nothing when no word keeps a term (only stop words or short words).
    static std::optional<std::string> build(std::string_view text, const TermTokenizer& tokenizer);

private:
    static std::string quoted(std::string_view text);
};

}  // namespace tallowmere::textindex
