#include <gtest/gtest.h>

#include <string>

#include "platform/feedkit/XmlRepair.h"

using tallowmere::feedkit::XmlRepair;

TEST(XmlRepair, MendsTheFaultsOfSloppyFeeds) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"<t>AT&T</t>", "<t>AT&amp;T</t>"},
        {"<t>a & b</t>", "<t>a &amp; b</t>"},
        {"<t>&</t>", "<t>&amp;</t>"},
        {"<a href=\"?x=1&y=2\"/>", "<a href=\"?x=1&amp;y=2\"/>"},
        {"<t>&nbsp;&eacute;&hellip;</t>", "<t>&#160;&#233;&#8230;</t>"},
        {"<t>&amp;&lt;&gt;&quot;&apos;</t>", "<t>&amp;&lt;&gt;&quot;&apos;</t>"},
        {"<t>&#233;&#xE9;&#XE9;</t>", "<t>&#233;&#xE9;&#XE9;</t>"},
        {"<t>&#; &#x; &#12</t>", "<t>&amp;#; &amp;#x; &amp;#12</t>"},
        {"<t>&#1;&#x0;&#xD800;&#1114112;&#9;</t>", "<t>&#9;</t>"},
        {"<!DOCTYPE t [<!ENTITY declared \"x\">]><t>&declared;</t>",
         "<!DOCTYPE t [<!ENTITY declared \"x\">]><t>&declared;</t>"},  // the document's own
        {"<t>&unknown;</t>", "<t>&amp;unknown;</t>"},                   // kept as written
        {"<rss><channel></channel></rss \n", "<rss><channel></channel></rss>"},  // cut in the last end tag
        {"<t>a < b <3</t>", "<t>a &lt; b &lt;3</t>"},
        {"<t>bell\x07 nul\x01 tab\t</t>", "<t>bell nul tab\t</t>"},
        {"<![CDATA[a & b &nbsp; < c\x01]]>", "<![CDATA[a & b &nbsp; < c]]>"},
        {"<!-- & &nbsp; --><?pi & ?>", "<!-- & &nbsp; --><?pi & ?>"},
        {"<!DOCTYPE r [<!ENTITY e \"&#38; & x\">]><r>&e;</r>",
         "<!DOCTYPE r [<!ENTITY e \"&#38; & x\">]><r>&e;</r>"},
        {"<t>cut &am", "<t>cut &amp;am"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(XmlRepair::repair(c.in), c.out) << c.in;
}

TEST(XmlRepair, LeavesWideEncodingsAlone) {
    const std::string utf16le("\xFF\xFE<\0&\0", 6);
    EXPECT_EQ(XmlRepair::repair(utf16le), utf16le);
    const std::string utf16beWithoutMark("\0<\0&", 4);
    EXPECT_EQ(XmlRepair::repair(utf16beWithoutMark), utf16beWithoutMark);
}
