#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "prefs/NewsletterEmailPattern.h"
#include "prefs/PreferencesNotificationsViewController.h"

namespace tallowmere {
namespace {

// The pattern the hand-written check stands for, matched by the library.
bool libraryMatches(const std::string& text) {
    static const std::regex pattern(R"([A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,64})");
    return std::regex_match(text, pattern);
}

TEST(NewsletterEmailPattern, AgreesWithTheRegularExpressionOnShortTexts) {
    const std::string tricky[] = {
        "a@b.co", "A@B.CO", "a@b.c", "a@bc", "@b.co", "a@.co", "a@b..co", "a@b.co.", "a@b.co1", "a@@b.co",
        "a b@c.de", "a@b.c d", "a@b.co\n", "\na@b.co", "é@b.co", "a@bé.co", "a@b.cé", "a.b%c+d-e_f@x-y.z.co",
        "a@-.co", "a@..co", "a@b.c.d", "", "@", "a@", "a@b.", ".@..aa", "a@b.co ", "a@b.abcdefgh",
    };
    for (const std::string& text : tricky) EXPECT_EQ(NewsletterEmailPattern::matches(text), libraryMatches(text)) << text;

    // Short texts over the characters that matter, the same for both.
    const std::string alphabet = "aZ09._%+-@. \n\xc3\xa9";
    std::mt19937 random(38);
    std::uniform_int_distribution<std::size_t> length(0, 10);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    int matched = 0;
    for (int round = 0; round < 50'000; ++round) {
        std::string text;
        for (std::size_t n = length(random); n > 0; --n) text += alphabet[pick(random)];
        const bool expected = libraryMatches(text);
        matched += expected;
        ASSERT_EQ(NewsletterEmailPattern::matches(text), expected) << '"' << text << '"';
    }
    EXPECT_GT(matched, 0) << "the sample holds addresses too";
}

TEST(NewsletterEmailPattern, LastPartLengthsAndLongTexts) {
    struct Case {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"a@b." + std::string(2, 'x'), true},
        {"a@b." + std::string(64, 'x'), true},
        {"a@b." + std::string(65, 'x'), false},
        // The library's matcher would run out of stack on these.
        {std::string(100'000, 'a') + "@b.co", true},
        {std::string(100'000, 'a'), false},
        {"a@" + std::string(100'000, '.') + "co", true},
    };
    for (const Case& c : cases) EXPECT_EQ(NewsletterEmailPattern::matches(c.text), c.valid) << c.text.size();
    // The pane checks the text as it stands, capitals and all.
    EXPECT_TRUE(PreferencesNotificationsViewController::isValidEmail(QStringLiteral("Reader@Example.COM")));
    EXPECT_FALSE(PreferencesNotificationsViewController::isValidEmail(QStringLiteral("r\u00e9ader@example.com")));
}

}  // namespace
}  // namespace tallowmere
