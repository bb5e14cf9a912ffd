#include "platform/textindex/MatchExpression.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <vector>

namespace tallowmere::textindex {

namespace {

// Words separated by any Unicode white space; invalid bytes stay in the words
// and are dropped by the tokenizer.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> result;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int64_t length = static_cast<int64_t>(text.size());
    int64_t wordBegin = -1;
    for (int64_t index = 0; index < length;) {
        const int64_t begin = index;
        UChar32 c = 0;
        U8_NEXT(bytes, index, length, c);
        const bool space = c >= 0 && (u_isUWhiteSpace(c) || c == 0);
        if (space && wordBegin >= 0) {
            result.push_back(text.substr(static_cast<std::size_t>(wordBegin),
                                         static_cast<std::size_t>(begin - wordBegin)));
            wordBegin = -1;
        } else if (!space && wordBegin < 0) {
            wordBegin = begin;
        }
    }
    if (wordBegin >= 0) result.push_back(text.substr(static_cast<std::size_t>(wordBegin)));
    return result;
}

}  // namespace

std::string MatchExpression::quoted(std::string_view text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '"') result += '"';
        result += c;
    }
    result += '"';
    return result;
}

std::optional<std::string> MatchExpression::build(std::string_view text, const TermTokenizer& tokenizer) {
    const std::vector<std::string_view> all = words(text);
    std::string expression;
    for (std::size_t i = 0; i < all.size(); ++i) {
        std::string phrase;
        bool lastTermKept = false;
        tokenizer.scan(all[i], [&](const TermTokenizer::Term& term) {
            lastTermKept = term.kept;
            if (term.kept) {
                if (!phrase.empty()) phrase += ' ';
                phrase += term.folded;
            }
            return true;
        });
        if (phrase.empty()) continue;
        if (!expression.empty()) expression += ' ';
        expression += quoted(phrase);
        if (i + 1 == all.size() && lastTermKept) expression += '*';
    }
    if (expression.empty()) return std::nullopt;
    return expression;
}

}  // namespace tallowmere::textindex
