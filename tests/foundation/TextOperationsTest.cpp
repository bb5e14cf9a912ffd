#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/TextOperations.h"

using namespace tallowmere;

namespace {

TEST(TextOperationsTest, EmailPattern) {
    const std::string tld64(64, 'a');
    const std::vector<std::pair<std::string, bool>> cases = {
        {"someone@example.com", true},
        {"first.last+tag%x_y-z@sub.example-host.co", true},
        {"A@B.CD", true},
        {"someone@example." + tld64, true},
        {"someone@example." + tld64 + "a", false},
        {"someone@example", false},
        {"someone@example.c", false},
        {"some one@example.com", false},
        {"someone@example.com ", false},
        {"someone@@example.com", false},
        {"@example.com", false},
        {"someone@.com", false},
        {"someone@-..com", true},  // the pattern allows it, as written
        {"someone@example.c0m", false},
        {"sömeone@example.com", false},
        {"someone@example.com\nother@example.com", false},
        {"", false},
    };
    for (const auto& [text, valid] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(isValidEmail(text), valid);
    }
    // Long input stays linear.
    EXPECT_FALSE(isValidEmail(std::string(1 << 20, 'a') + "@" + std::string(1 << 20, '.')));
    EXPECT_TRUE(isValidEmail(std::string(1 << 20, 'a') + "@" + std::string(1 << 20, 'b') + ".com"));
}

TEST(TextOperationsTest, CapitalisesTheFirstCharacter) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"hello world", "Hello world"},
        {"Hello", "Hello"},
        {" hello", " hello"},
        {"ßtraße", "SStraße"},
        {"élan", "Élan"},
        {"e\xCC\x81lan", "E\xCC\x81lan"},     // a combining mark stays with its letter
        {"ǆungla", "Ǆungla"},                  // upper case, not title case
        {"ﬁne", "FIne"},
        {"\xF0\x9F\x98\x80 smile", "\xF0\x9F\x98\x80 smile"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(capitalizedFirstLetter(text), expected);
    }
}

TEST(TextOperationsTest, QuotingAndSlashes) {
    EXPECT_EQ(quoted("a \"b\""), "\"a \"b\"\"");
    EXPECT_EQ(quoted(""), "\"\"");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/Feeds/Tech/", "feeds/tech"},
        {"///A//B///", "a//b"},
        {"ÉCOLE/", "école"},
        {"///", ""},
        {"", ""},
        {"plain", "plain"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(lowercasedTrimmingSlashes(text), expected);
    }
}

}  // namespace

TEST(TextOperations, TrimmingWhitespaceOfAnyScriptKeepsInvalidBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"  plain  ", "plain"},
        {"\u00a0\u2028\u3000text\u2003\n", "text"},
        {"\n\t", ""},
        {"", ""},
        {"inner  space", "inner  space"},
        {"\xff trailing ", "\xff trailing"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(tallowmere::trimmingWhitespace(input), expected) << input;
}
