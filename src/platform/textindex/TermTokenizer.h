#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/textindex/TextIndexProperties.h"

namespace tallowmere::textindex {

// Cuts UTF-8 text into the terms an index keeps. A term is a run of letters,
// digits and marks, joined by the term characters that stand inside it; it is
// folded to lower case without diacritics ("Café" -> "cafe"), and dropped when
// shorter than the minimum length or a stop word. Documents and queries go
// through the same rules, so a query term matches exactly what was indexed.
// Invalid UTF-8 separates terms and is never copied into one.
class TermTokenizer {
public:
    struct Term {
        std::string_view folded;
        std::size_t begin;  // byte range of the source in the text
        std::size_t end;
        bool kept;  // false: too short or a stop word
    };
    // Returning false stops the cut.
    using TermSink = std::function<bool(const Term& term)>;

    explicit TermTokenizer(const TextIndexProperties& properties);

    // Every candidate term, kept or not.
    void scan(std::string_view text, const TermSink& sink) const;
    // The kept terms only.
    void tokenize(std::string_view text, const TermSink& sink) const;
    // The kept terms of the text, in order.
    std::vector<std::string> terms(std::string_view text) const;

    // Full case folding, then diacritics removed (canonical decomposition
    // without non-spacing marks, recomposed).
    static std::string fold(std::string_view text);

private:
    struct TransparentHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };

    bool isTermCharacter(char32_t c) const;
    bool keeps(std::string_view folded) const;

    std::u32string termCharacters_;
    std::size_t minimumTermLength_;
    std::unordered_set<std::string, TransparentHash, std::equal_to<>> stopWords_;
};

}  // namespace tallowmere::textindex
