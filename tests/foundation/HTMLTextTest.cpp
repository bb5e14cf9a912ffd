#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "foundation/HTMLText.h"
#include "platform/text/HTMLEntities.h"

using namespace tallowmere;

namespace {

struct Case {
    std::string input;
    std::string expected;
};

TEST(HTMLTextTest, DecodesReferences) {
    const std::vector<Case> cases = {
        {"no references at all", "no references at all"},
        {"&#65;&#x41;&#X41;", "AAA"},
        {"&#0; &#65535; &#xD800; &#xDFFF; &#55296;", "&#0; &#65535; &#xD800; &#xDFFF; &#55296;"},
        {"&#65534;|&#xFFFE;|&#xE000;", "\xEF\xBF\xBE|\xEF\xBF\xBE|\xEE\x80\x80"},
        {"&#65 and more", "&#65 and more"},
        {"&#+65;&#-65;&#x0x41;&#x 41;&# 65;", "A&#-65;AAA"},
        {"&#x41 ;&#6 5;&#x;&#;&#x4G;", "&#x41 ;&#6 5;&#x;&#;&#x4G;"},
        {"&AMP; &amp; &Amp;", "&AMP; & &Amp;"},
        {"&apos;&quot;&lt;&gt;&nbsp;&diams;", "'\"<>\xC2\xA0\xE2\x99\xA6"},
        {"&Eacute;&eacute;", "\xC3\x89\xC3\xA9"},
        {"&thetasym;&#0000065;&#00000065;", "\xCF\x91" "A&#00000065;"},  // 10 units pass, 11 do not
        {"&#x000041;&#x0000041;", "A&#x0000041;"},
        {"&unknown;&euro", "&unknown;&euro"},
        {"a & b &lt; c", "a & b < c"},
        {"&amp;lt;", "&lt;"},
        {"&amp;amp;amp;", "&amp;amp;"},
        {"&&&;;&lt;&", "&&&;;<&"},
        {"&#128512;", "&#128512;"},
        {"x&#x1F600;y", "x&#x1F600;y"},
        {"\xF0\x9F\x98\x80&lt;\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80<\xF0\x9F\x98\x80"},
        // Bytes that are no UTF-8 become replacement characters once decoding runs.
        {"\xFF&amp;\xED\xA0\x80", "\xEF\xBF\xBD&\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(decodingHTMLEntities(std::string_view(c.input)), c.expected);
    }
}

// Well-formed UTF-8 is decoded without a detour through UTF-16; both forms
// must read the same references, also where a reference holds characters
// of several bytes (its length counts in UTF-16 units).
TEST(HTMLTextTest, DecodesUTF8AsItDecodesUTF16) {
    const std::vector<std::string> inputs = {
        "&#\xE3\x80\x80" "65;",                                          // 6 units, 8 bytes
        "&#\xE3\x80\x80\xE3\x80\x80\xE3\x80\x80" "65;",                  // 8 units, 14 bytes
        "&#\xE3\x80\x80\xE3\x80\x80\xE3\x80\x80\xE3\x80\x80\xE3\x80\x80" "65;",  // 10 units
        "&#\xE3\x80\x80\xE3\x80\x80\xE3\x80\x80\xE3\x80\x80\xE3\x80\x80\xE3\x80\x80" "65;",
        "&\xC3\xA9;&amp\xC3\xA9;&\xF0\x9F\x98\x80;",
        "&lt;" + std::string(40, 'x') + ";&gt;",
        "&" + std::string(40, ' ') + "&amp;",
    };
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        std::string viaUTF16;
        decodingHTMLEntities(icu::UnicodeString::fromUTF8(input)).toUTF8String(viaUTF16);
        EXPECT_EQ(decodingHTMLEntities(std::string_view(input)), viaUTF16);
    }
    EXPECT_EQ(decodingHTMLEntities(std::string_view(inputs[1])), "A");
}

TEST(HTMLTextTest, EntityTableMatchesTheHTML401List) {
    const auto table = tallowmere::text::HTMLEntities::table();
    ASSERT_EQ(table.size(), 253u);
    EXPECT_EQ(table.front().escapeSequence, "&quot;");
    EXPECT_EQ(table[2].escapeSequence, "&apos;");
    EXPECT_EQ(table[2].ucharValue, 39u);
    EXPECT_EQ(table.back().escapeSequence, "&diams;");
    EXPECT_EQ(table.back().ucharValue, 9830u);
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& entity = table[i];
        SCOPED_TRACE(std::string(entity.escapeSequence));
        if (i > 0) {
            EXPECT_LT(table[i - 1].ucharValue, entity.ucharValue);
        }
        EXPECT_LT(entity.ucharValue, 0x10000u);
        ASSERT_TRUE(entity.escapeSequence.starts_with("&") && entity.escapeSequence.ends_with(";"));
        names.insert(entity.escapeSequence);
        // libxml2 keeps its own table of the HTML 4 references.
        const std::string name(entity.escapeSequence.substr(1, entity.escapeSequence.size() - 2));
        const htmlEntityDesc* desc = htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.c_str()));
        ASSERT_NE(desc, nullptr);
        EXPECT_EQ(desc->value, entity.ucharValue);
        // Every entry decodes on its own.
        std::string expected;
        icu::UnicodeString(static_cast<UChar32>(entity.ucharValue)).toUTF8String(expected);
        EXPECT_EQ(decodingHTMLEntities(entity.escapeSequence), expected);
    }
    EXPECT_EQ(names.size(), table.size());
    // And every code point libxml2 names in the HTML 4 range is in ours.
    std::set<char32_t> ours;
    for (const auto& entity : table) ours.insert(entity.ucharValue);
    for (unsigned value = 1; value < 0x10000; ++value) {
        if (htmlEntityValueLookup(value) != nullptr) {
            EXPECT_TRUE(ours.count(value)) << value;
        }
    }
}

TEST(HTMLTextTest, StripsStepByStep) {
    const std::vector<Case> withoutLinks = {
        // Entities first, then the escaped markup goes as tags.
        {"&lt;b&gt;bold&lt;/b&gt; text", "bold text"},
        {"one<br>two<br/>three<br  />four<br//>five", "one\ntwo\nthree\nfour\nfive"},
        {"one<BR>two", "onetwo"},
        {"a<script type=\"x\">if (a < b) { c(); }</script>b", "ab"},
        {"a<script>x</script>b<script>y</script>c", "abc"},
        {"a<scripts>x</scripts>b", "axb"},
        {"a<SCRIPT>code()</SCRIPT>b", "acode()b"},
        {"a<script>never closed", "anever closed"},
        {"<p class=\"x\">para</p><div\nclass=\"y\">spans</div>", "paraspans"},
        {"a <> b < c", "a <> b < c"},
        {"First. Second", "First.\n\nSecond"},
        {"Wait... what", "Wait...\n\nwhat"},
        {"One. .two", "One. .two"},
        {"One. \ntwo", "One. \ntwo"},
        {"One.  two", "One.\n\ntwo"},
        {"a\n \n \nb", "a\n\nb"},
        {"a\nb", "a\nb"},
        {"a \n\t\n  b", "a\n\nb"},
        {"<p> </p>\n<div>\n</div>  ", ""},
        {"  \xC2\xA0 text\xC2\xA0\n", "text"},
        {"&nbsp;&nbsp;x", "x"},
    };
    for (const auto& c : withoutLinks) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(strippingHTML(c.input, false), c.expected);
    }
    const std::vector<Case> withLinks = {
        {"<p>see <a href=\"x\" title='t'>this</a> and <abbr>abbr</abbr></p>",
         "see <a href=\"x\" title='t'>this</a> and abbr"},
        {"<a>plain</a><A href=x>caps</A>", "<a>plain</a>caps"},
        {"<a\nhref=\"x\">spans</a>", "<a\nhref=\"x\">spans</a>"},
        {"<b\nclass=\"x\">spans</b>", "<b\nclass=\"x\">spans"},
        {"<a href=x\n>line</a>", "<a href=x\n>line</a>"},
        {"<area shape=x><aside>t</aside>", "t"},
        {"x <a y", "x <a y"},
        {"<br><script>s</script><a href=x>k</a>. Next", "<a href=x>k</a>.\n\nNext"},
    };
    for (const auto& c : withLinks) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(strippingHTML(c.input, true), c.expected);
    }
}

TEST(HTMLTextTest, ReplacesKeysInOrder) {
    EXPECT_EQ(replacingKeys("<h1>$TITLE</h1>$BODY$BODY", {{"$TITLE", "T"}, {"$BODY", "b"}}), "<h1>T</h1>bb");
    EXPECT_EQ(replacingKeys("$A", {{"$A", "$B"}, {"$B", "x"}}), "x");
    EXPECT_EQ(replacingKeys("$A", {{"$B", "x"}, {"$A", "$B"}}), "$B");
    EXPECT_EQ(replacingKeys("$a $A", {{"$A", "x"}, {"", "y"}}), "$a x");
    EXPECT_EQ(replacingKeys("aaa", {{"aa", "a"}}), "aa");
}

// The stripping steps done with the ICU engine and the expressions as
// written; the scanners must agree with it.
icu::UnicodeString icuReplaceAll(const char* pattern, const icu::UnicodeString& text, const char* replacement) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), 0, parseError, status));
    EXPECT_TRUE(U_SUCCESS(status)) << pattern;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(text, status));
    icu::UnicodeString result = matcher->replaceAll(icu::UnicodeString::fromUTF8(replacement), status);
    EXPECT_TRUE(U_SUCCESS(status)) << pattern;
    return result;
}

std::string referenceStripping(const std::string& text, bool keepLinks) {
    icu::UnicodeString s = decodingHTMLEntities(icu::UnicodeString::fromUTF8(text));
    s = icuReplaceAll(html_patterns::lineBreak, s, "\n");
    s = icuReplaceAll(html_patterns::script, s, "");
    s = icuReplaceAll(keepLinks ? html_patterns::tagExceptLinks : html_patterns::anyTag, s, "");
    s = icuReplaceAll(html_patterns::sentenceBreak, s, html_patterns::sentenceBreakTemplate);
    s = icuReplaceAll(html_patterns::blankLines, s, "\n\n");
    s = icuReplaceAll("^[\\p{White_Space}]+|[\\p{White_Space}]+$", s, "");
    std::string out;
    s.toUTF8String(out);
    return out;
}

TEST(HTMLTextTest, ScannersAgreeWithTheExpressions) {
    const std::vector<std::string> pieces = {
        "<", ">", "/", "a", "b", "r", " ", "\n", "\r", "\t", ".", "x", "<a", "</a>", "<a ", "<a>", "<br>",
        "<br />", "<script>", "</script>", "<script", "<scripts", "\xC2\xA0", "\xE2\x80\xA8", "\xC2\x85",
        "\x0B", "\x0C", "&lt;", "&amp;", "&gt;", "\xF0\x9F\x98\x80", "\xCC\x81", "<abbr>", "<b>", ". ", "\n\n",
        "&#65;", "&hellip;", "&#x2028;", "\xFF", ". .", ".\n", "&amp;lt;",
    };
    std::mt19937 random(1234);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int n = length(random);
        for (int i = 0; i < n; ++i) text += pieces[pick(random)];
        for (bool keepLinks : {false, true}) {
            ASSERT_EQ(strippingHTML(text, keepLinks), referenceStripping(text, keepLinks))
                << "keepLinks " << keepLinks << " input [" << text << "]";
        }
    }
}

// Inputs on which the expressions as written would take quadratic or
// worse time; each must come back promptly.
TEST(HTMLTextTest, LargeAndHostileInputs) {
    const std::size_t size = 10 * 1024 * 1024;
    auto repeated = [&](const std::string& unit) {
        std::string out;
        out.reserve(size + unit.size());
        while (out.size() < size) out += unit;
        return out;
    };
    const std::vector<std::string> inputs = {
        repeated("<"),
        repeated("<script "),
        repeated("<a href=x>link</a> "),
        repeated("<a "),
        repeated("&#65;&lt;&amp;"),
        repeated("&"),
        repeated("&#xD800;"),
        repeated(" ") + "\n" + repeated(" "),
        repeated("<p>Para. Next</p>\n\n"),
    };
    for (const auto& input : inputs) {
        for (bool keepLinks : {false, true}) {
            const std::string out = strippingHTML(input, keepLinks);
            EXPECT_LE(out.size(), input.size() * 2);
        }
        EXPECT_FALSE(decodingHTMLEntities(std::string_view(input)).empty());
    }
    EXPECT_EQ(strippingHTML(repeated("<b>"), false), "");
    EXPECT_EQ(strippingHTML("a<br" + repeated(" ") + "/>b", false), "a\nb");
    EXPECT_EQ(strippingHTML("a<script>" + repeated("<i>") + "</script>b", false), "ab");
    EXPECT_EQ(strippingHTML(repeated("Word. "), false).substr(0, 8), "Word.\n\nW");
    EXPECT_EQ(strippingHTML(repeated("&#x41;"), false), repeated("A").substr(0, size / 6 + 1));
}

}  // namespace
