// Shapes of real article pages whose text the extractor must find, one
// small page each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/readability/Readability.h"

using namespace tallowmere::readability;

namespace {

std::string page(const std::string& body, const std::string& head = "") {
    return "<!DOCTYPE html><html><head><title>A page</title>" + head + "</head><body>" + body + "</body></html>";
}

// A paragraph of news prose, about 230 characters with a few commas.
std::string prose(const std::string& marker) {
    return "<p>" + marker +
           " the council met again on Tuesday, and after a long debate it agreed to look once more at the plan "
           "for the new bridge, which has been delayed for years by money, weather and the objections of "
           "people who live along the river.</p>";
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

std::string textOf(const std::string& html, const std::string& url = "https://news.example/a/b") {
    const ReadabilityResult result = Readability::extract(html, url);
    const auto* data = std::get_if<ReadabilityData>(&result);
    return data && data->text ? *data->text : std::string();
}

struct TextCase {
    const char* name;
    std::string html;
    std::vector<std::string> present;
    std::vector<std::string> absent;
};

void check(const std::vector<TextCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = textOf(c.html);
        for (const auto& wanted : c.present) EXPECT_NE(text.find(wanted), std::string::npos) << wanted << "\n" << text;
        for (const auto& unwanted : c.absent) EXPECT_EQ(text.find(unwanted), std::string::npos) << unwanted;
    }
}

}  // namespace

// The article split over several blocks keeps every block.
TEST(ReadableText, ArticlesSplitIntoSeveralBlocks) {
    check({
        {"chunks broken by an ad",
         page("<nav><a href='/'>Home</a></nav><div id='story'><div class='chunk one'><div class='inner'>" +
              prose("ALPHA") + prose("BRAVO") +
              "</div><div class='ad-slot'>Advertisement</div></div><div class='chunk two'><div class='inner'>" +
              prose("CHARLIE") + prose("DELTA") + "</div></div></div>"),
         {"ALPHA", "BRAVO", "CHARLIE", "DELTA"},
         {"Advertisement", "Home"}},
        {"sections",
         page("<main><section><div>" + prose("ALPHA") + prose("BRAVO") + "</div></section><section><div>" +
              prose("CHARLIE") + "</div></section><section><div>" + prose("DELTA") + "</div></section></main>"),
         {"ALPHA", "BRAVO", "CHARLIE", "DELTA"},
         {}},
        {"table cells",
         page("<table><tr><td><div>" + prose("ALPHA") + prose("BRAVO") + "</div></td><td><div>" + prose("CHARLIE") +
              "</div></td></tr></table>"),
         {"ALPHA", "BRAVO", "CHARLIE"},
         {}},
    });
}

// A data table or a caption list inside the article does not win over it;
// the page's declared article body is preferred to its parts.
TEST(ReadableText, BlocksNestedInTheArticle) {
    std::string rows;
    for (int i = 0; i < 30; ++i)
        rows += "<tr><td>Row " + std::to_string(i) +
                ", north, south, east, west</td><td>Value, one, two, three, four</td><td>More, five, six, seven, "
                "eight</td></tr>";
    check({
        {"data table",
         page("<article><h1>Results</h1><div class='intro'>" + prose("ALPHA") + prose("BRAVO") + "</div><table>" +
              rows + "</table><div class='outro'>" + prose("CHARLIE") + "</div></article>"),
         {"ALPHA", "BRAVO", "CHARLIE", "Row 3"},
         {}},
        {"declared article body",
         page("<div itemprop='articleBody'><div class='summary'><p>In short: money, weather, people, years, plans, "
              "votes, roads, rivers, banks, councils, delays.</p></div>" +
              prose("ALPHA") + "<div class='gallery'><div>" + prose("BRAVO") + "</div></div>" + prose("CHARLIE") +
              "</div>"),
         {"In short", "ALPHA", "BRAVO", "CHARLIE"},
         {}},
    });
}

TEST(ReadableText, CommasAreCapped) {
    std::string names;
    for (int i = 0; i < 120; ++i) names += (i ? ", " : "") + std::string("<a href='/p/") + std::to_string(i) + "'>N" + std::to_string(i) + "</a>";
    check({
        {"list of linked names",
         page("<div class='story'>" + prose("ALPHA") + prose("BRAVO") + prose("CHARLIE") +
              "</div><div class='people'><p>People in this story: " + names + "</p></div>"),
         {"ALPHA", "BRAVO", "CHARLIE"},
         {"N17"}},
    });
}

TEST(ReadableText, ClassAndIdHintsMatchWholeWords) {
    const std::string sidebar =
        "<div class='sidebar'><ul>" + repeated("<li><a href='/more'>" + prose("SIDEBAR") + "</a></li>", 5) + "</ul></div>";
    check({
        {"a word inside a longer id",
         page("<div id='subscriptions-are-dead'>" + prose("ALPHA") + prose("BRAVO") + "</div>" + sidebar),
         {"ALPHA", "BRAVO"},
         {"SIDEBAR"}},
        {"poor first reading is retried without hints",
         page("<div id='the-social-network-review'>" + prose("ALPHA") + prose("BRAVO") + prose("CHARLIE") +
              "</div><div class='about'><p>About us: a small paper, run by its readers, since 1901, in the town "
              "by the river.</p></div>" +
              sidebar),
         {"ALPHA", "BRAVO", "CHARLIE"},
         {}},
    });
}

TEST(ReadableText, TextOutsideParagraphs) {
    std::string items;
    for (int i = 0; i < 6; ++i)
        items += "<li>Point " + std::to_string(i) +
                 ": the new timetable, which starts in spring, adds a train every hour and keeps the last one "
                 "later at night.</li>";
    std::string blurbs;
    for (int i = 0; i < 20; ++i) blurbs += "<p>Blurb number " + std::to_string(i) + ".</p>";
    std::string lines;
    for (int i = 0; i < 12; ++i)
        lines += "Line " + std::to_string(i) +
                 " of a story told in lines, with one comma, and more words to make it long enough<br>";
    const std::string about = "<div class='about'><p>About the author: writer, walker, cook, gardener, father, "
                              "reader, and sometime sailor.</p></div>";
    check({
        {"bullet-list post", page("<div class='entry'><ul>" + items + "</ul></div>" + about),
         {"Point 0", "Point 5"},
         {}},
        {"many short blurbs", page("<div class='stream'>" + blurbs + "</div>" + about), {"Blurb number 0.", "Blurb number 19."}, {}},
        {"text with line breaks beside a block",
         page("<div class='story'><h2>Told in lines</h2>" + lines + "</div>" + about),
         {"Line 0", "Line 11"},
         {}},
    });
}

TEST(ReadableText, ShortPagesFallBackToTheBodyText) {
    EXPECT_EQ(textOf(page("<h1>Hi</h1><p>Short note.</p>")), "Hi\n\nShort note.");
}

TEST(ReadableText, HiddenContentIsLeftOut) {
    const std::string hidden = repeated(prose("HIDDEN"), 6);
    check({
        {"hidden attribute", page("<div class='story'>" + prose("ALPHA") + "</div><div hidden>" + hidden + "</div>"),
         {"ALPHA"}, {"HIDDEN"}},
        {"aria-hidden", page("<div class='story'>" + prose("ALPHA") + "</div><div aria-hidden='true'>" + hidden + "</div>"),
         {"ALPHA"}, {"HIDDEN"}},
        {"display none", page("<div class='story'>" + prose("ALPHA") + "</div><div style='display: none'>" + hidden + "</div>"),
         {"ALPHA"}, {"HIDDEN"}},
        {"visibility hidden", page("<div class='story'>" + prose("ALPHA") + "</div><div style='visibility:hidden'>" + hidden + "</div>"),
         {"ALPHA"}, {"HIDDEN"}},
    });
}

// Bytes that are plainly UTF-8 are read as UTF-8 whatever the page declares,
// and nothing the HTML reader complains about reaches the terminal.
TEST(ReadableText, CharacterSets) {
    const std::string utf8Page = page(prose("Caf\xC3\xA9"), "<meta charset='windows-1252'>");
    EXPECT_NE(textOf(utf8Page).find("Caf\xC3\xA9 the council"), std::string::npos);
    const std::string latin1Page = page(prose("Caf\xE9"), "<meta charset='windows-1252'>");
    EXPECT_NE(textOf(latin1Page).find("Caf\xC3\xA9 the council"), std::string::npos);

    testing::internal::CaptureStderr();
    textOf(page(prose("Bad \x82\xA0\xFF\xFE bytes"), "<meta charset='shift_jis'>"));
    textOf(page(prose("Bad \xE9\xFF bytes"), "<meta charset='utf-8'>"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
