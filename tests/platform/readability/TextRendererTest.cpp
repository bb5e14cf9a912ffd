#include <gtest/gtest.h>

#include <string>

#include "platform/readability/HtmlDocument.h"
#include "platform/readability/TextRenderer.h"

using namespace tallowmere::readability;

namespace {

struct Rendering {
    const char* name;
    const char* html;
    const char* expected;
};

std::ostream& operator<<(std::ostream& out, const Rendering& r) { return out << r.name; }

}  // namespace

class RenderText : public testing::TestWithParam<Rendering> {};

TEST_P(RenderText, ShowsTextAsABrowserLaysItOut) {
    const Rendering& r = GetParam();
    const auto document = HtmlDocument::parse(std::string("<html><body>") + r.html + "</body></html>", "");
    ASSERT_TRUE(document);
    EXPECT_EQ(TextRenderer::render(document->body()), r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderText,
    testing::Values(
        Rendering{"WhiteSpaceCollapses", "<p>  One   two\n\t three </p>", "One two three"},
        Rendering{"ParagraphsAreSeparatedByABlankLine", "<p>One</p><p>Two</p><div>Three</div>",
                  "One\n\nTwo\n\nThree"},
        Rendering{"InlineElementsJoin", "<p>a<b>b</b> <i>c</i>, <a href='#'>d</a></p>", "ab c, d"},
        Rendering{"BrIsALineTwoBrAParagraph", "<div>one<br>two<br><br>three<br/> <br>four</div>",
                  "one\ntwo\n\nthree\n\nfour"},
        Rendering{
            "ListItemsAndRowsAreLines",
            "<ul><li>a</li><li>b</li></ul><table><tr><td>c</td><td>d</td></tr><tr><td>e</td></tr></table>",
            "a\nb\n\nc d\ne"},
        Rendering{"PreformattedTextStands", "<p>Code:</p><pre>  x = 1\n    y = 2</pre><p>End</p>",
                  "Code:\n\n  x = 1\n    y = 2\n\nEnd"},
        Rendering{"NoBreakSpacesAreSpaces", "<p>x&nbsp;&nbsp;y</p>", "x y"},
        Rendering{"EntitiesAreDecoded", "<p>Fish &amp; chips &lt;3 &eacute;t&eacute;</p>",
                  "Fish & chips <3 été"},
        Rendering{"ScriptsAndPlayersShowNothing",
                  "<p>a<script>var x = 1;</script><iframe>fallback</iframe><video>no video</video>b</p>",
                  "ab"},
        Rendering{"HeadingsAreParagraphs", "<h2>Title</h2>Text<h3>Sub</h3>", "Title\n\nText\n\nSub"}),
    [](const auto& info) { return std::string(info.param.name); });
