#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/textindex/MatchExpression.h"
#include "platform/textindex/TermTokenizer.h"

using namespace tallowmere::textindex;

namespace {

TextIndexProperties englishProperties() {
    TextIndexProperties properties;
    properties.stopWords = {"the", "and", "with", "Perché"};
    return properties;
}

}  // namespace

TEST(TermTokenizer, CutsFoldsAndFiltersTerms) {
    const TermTokenizer tokenizer(englishProperties());
    struct Case {
        std::string text;
        std::vector<std::string> terms;
    };
    const Case cases[] = {
        {"Hello, World!", {"hello", "world"}},
        {"Send an e-mail to user@example.com", {"send", "e-mail", "user@example.com"}},
        {"l'amore e snake_case, v1.2.3", {"l'amore", "snake_case", "v1.2.3"}},
        // Term characters join only inside a word.
        {"'quoted' -dash- ...dots... @home", {"quoted", "dash", "dots", "home"}},
        {"Café CRÈME Ünïcödé naïve", {"cafe", "creme", "unicode", "naive"}},
        {"Straße İstanbul", {"strasse", "istanbul"}},
        // Decomposed input folds like precomposed input.
        {"cafe\xCC\x81", {"cafe"}},
        // Short words and stop words (in any case, with or without diacritics).
        {"a an of The AND with perche PERCHÉ go abc", {"abc"}},
        {"ab-c", {"ab-c"}},
        {"日本語のテキスト", {"日本語のテキスト"}},
        // Invalid UTF-8 separates terms and is never copied.
        {"good\xFF\xFEterm \xC3", {"good", "term"}},
        {"", {}},
        {"  \t\n ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(tokenizer.terms(c.text), c.terms) << c.text;
}

TEST(TermTokenizer, ReportsSourceRangesAndWhatWasDropped) {
    const TermTokenizer tokenizer(englishProperties());
    const std::string text = "  The Café-bar, ok";
    std::vector<std::string> seen;
    tokenizer.scan(text, [&](const TermTokenizer::Term& term) {
        seen.push_back(std::string(term.folded) + (term.kept ? "+" : "-") + "[" +
                       text.substr(term.begin, term.end - term.begin) + "]");
        return true;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"the-[The]", "cafe-bar+[Café-bar]", "ok-[ok]"}));
}

TEST(TermTokenizer, HonoursOtherPropertiesAndStopsWhenAsked) {
    TextIndexProperties properties;
    properties.termCharacters = "";
    properties.minimumTermLength = 5;
    const TermTokenizer tokenizer(properties);
    EXPECT_EQ(tokenizer.terms("e-mail user@example.com hello four"),
              (std::vector<std::string>{"example", "hello"}));

    int calls = 0;
    tokenizer.tokenize("first second third", [&](const TermTokenizer::Term&) { return ++calls < 2; });
    EXPECT_EQ(calls, 2);
}

TEST(MatchExpression, QuotesEveryWordAndMakesTheLastAPrefix) {
    const TermTokenizer tokenizer(englishProperties());
    struct Case {
        std::string text;
        std::optional<std::string> expression;
    };
    const Case cases[] = {
        {"abc", "\"abc\"*"},
        {"Hello  World", "\"hello\" \"world\"*"},
        {"  café\u00A0au\tlait  ", "\"cafe\" \"lait\"*"},
        // Syntax of the query language is text, never syntax.
        {"\"quoted phrase\"", "\"quoted\" \"phrase\"*"},
        {"(left OR right) NOT wrong", "\"left\" \"right\" \"not\" \"wrong\"*"},
        {"NEAR(one two, 5)", "\"near one\" \"two\""},
        {"body:secret -excluded prefix* ^start", "\"body secret\" \"excluded\" \"prefix\" \"start\"*"},
        {"foo,bar", "\"foo bar\"*"},
        // The prefix belongs to the last word typed: when its last term was
        // dropped, nothing is a prefix.
        {"network ab", "\"network\""},
        {"network the", "\"network\""},
        {"network foo,ab", "\"network\" \"foo\""},
        // Nothing left to search.
        {"the and of a", std::nullopt},
        {"\" ( ) * : - ^", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchExpression::build(c.text, tokenizer), c.expression) << c.text;
}
