#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "foundation/DispatchQueueFactory.h"
#include "platform/dispatch/Queue.h"
#include "platform/feedkit/FeedParser.h"
#include "support/TempDir.h"

using namespace std::chrono;
using namespace tallowmere;
using namespace tallowmere::feedkit;

namespace {

Result parseText(std::string text) { return FeedParser(std::move(text)).parse(); }
Result parseFixture(const std::string& name) { return parseText(test::readFixture("feeds/" + name)); }

system_clock::time_point utc(int y, unsigned mo, unsigned d, int h, int mi, int s) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

std::string rssWithItemDescription(const std::string& description) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title><item><title>I</title>"
           "<link>http://x.example/</link><description>" +
           description + "</description></item></channel></rss>";
}

}  // namespace

// --- Formats --------------------------------------------------------------

TEST(FeedParser, RecognisesEachFormatFromTheDocument) {
    struct Case {
        const char* fixture;
        Result::Case kind;
        const char* title;
    };
    const Case cases[] = {
        {"podcast-itunes.xml", Result::Case::rss, "Harbour Talk"},
        {"rss-090.rdf", Result::Case::rss, "Old Netscape Channel"},
        {"rss-091.xml", Result::Case::rss, "Userland Weekly"},
        {"rss-092.xml", Result::Case::rss, "Radio Log"},
        {"rss-10.rdf", Result::Case::rss, "Semantic Notes"},
        {"atom-links-xhtml.xml", Result::Case::atom, "Workshop Journal"},
        {"atom-03.xml", Result::Case::atom, "Legacy Atom"},
        {"jsonfeed-11-authors.json", Result::Case::json, "Garden Diary"},
        {"jsonfeed-10.json", Result::Case::json, "Workbench"},
    };
    for (const auto& c : cases) {
        Result result = parseFixture(c.fixture);
        ASSERT_TRUE(result.isSuccess()) << c.fixture << ": " << result.error()->message;
        EXPECT_FALSE(result.error().has_value());
        ASSERT_EQ(result.kind(), c.kind) << c.fixture;
        std::optional<std::string> title;
        if (auto* rss = result.rssFeed()) title = rss->title;
        if (auto* atom = result.atomFeed()) title = atom->title;
        if (auto* json = result.jsonFeed()) title = json->title;
        EXPECT_EQ(title, c.title) << c.fixture;
    }
}

TEST(FeedParser, ReadsAPodcastFeedWithTheContentAndDublinCoreModules) {
    Result result = parseFixture("podcast-itunes.xml");
    const RSSFeed* feed = result.rssFeed();
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->link, " https://harbour.example/podcast\n    ");  // the atom:link is another element
    EXPECT_EQ(feed->lastBuildDate, utc(2025, 1, 6, 8, 0, 0));
    EXPECT_FALSE(feed->pubDate.has_value());
    ASSERT_TRUE(feed->categories.has_value());
    ASSERT_EQ(feed->categories->size(), 2u);
    EXPECT_EQ((*feed->categories)[1].value, "Harbour");
    ASSERT_TRUE(feed->items.has_value());
    ASSERT_EQ(feed->items->size(), 2u);

    const RSSFeedItem& first = (*feed->items)[0];
    EXPECT_EQ(first.title, "Episode 2: Tides");
    EXPECT_EQ(first.link, "https://harbour.example/podcast/2");
    ASSERT_TRUE(first.guid.has_value());
    EXPECT_EQ(first.guid->value, "harbour-ep-2");
    EXPECT_EQ(first.guid->isPermaLink, false);
    EXPECT_EQ(first.pubDate, utc(2025, 1, 6, 6, 30, 0));
    EXPECT_EQ(first.description, "<p>All about <b>tides</b>.</p>");
    ASSERT_TRUE(first.content && first.content->contentEncoded);
    EXPECT_NE(first.content->contentEncoded->find("<b>tides</b> &amp; currents"), std::string::npos);
    ASSERT_TRUE(first.dublinCore.has_value());
    EXPECT_EQ(first.dublinCore->dcCreator, "Ann Example");
    ASSERT_TRUE(first.categories.has_value());
    EXPECT_EQ((*first.categories)[1].value, "Sea");
    EXPECT_EQ((*first.categories)[1].domain, "https://harbour.example/tags");

    const RSSFeedItem& second = (*feed->items)[1];
    EXPECT_FALSE(second.link.has_value());
    EXPECT_EQ(second.guid->value, "https://harbour.example/podcast/1");
    EXPECT_FALSE(second.dublinCore.has_value());  // the iTunes author is not Dublin Core
    EXPECT_FALSE(second.categories.has_value());
    EXPECT_FALSE(second.content.has_value());
}

TEST(FeedParser, ReadsRdfFeedsWhoseItemsStandBesideTheChannelWhateverThePrefixes) {
    Result old = parseFixture("rss-090.rdf");
    ASSERT_NE(old.rssFeed(), nullptr);
    ASSERT_EQ(old.rssFeed()->items->size(), 2u);
    EXPECT_EQ((*old.rssFeed()->items)[1].link, "http://old.example/2");
    EXPECT_EQ(old.rssFeed()->link, "http://old.example/");

    Result result = parseFixture("rss-10.rdf");
    const RSSFeed* feed = result.rssFeed();
    ASSERT_NE(feed, nullptr);
    ASSERT_TRUE(feed->dublinCore.has_value());
    EXPECT_EQ(feed->dublinCore->dcDate, utc(2003, 12, 13, 18, 30, 2));
    ASSERT_EQ(feed->items->size(), 2u);
    const RSSFeedItem& item = (*feed->items)[0];
    EXPECT_EQ(item.content->contentEncoded, "<p>Long <em>body</em></p>");
    EXPECT_EQ(item.dublinCore->dcCreator, "Bea Example");
    EXPECT_EQ(item.dublinCore->dcDate, utc(2003, 12, 13, 14, 30, 2));
    EXPECT_FALSE((*feed->items)[1].dublinCore.has_value());
}

TEST(FeedParser, ReadsOlderRssVersions) {
    Result v091 = parseFixture("rss-091.xml");
    ASSERT_NE(v091.rssFeed(), nullptr);
    EXPECT_EQ(v091.rssFeed()->pubDate, utc(2003, 10, 3, 17, 0, 0));
    EXPECT_EQ((*v091.rssFeed()->items)[0].title, "Caf\u00e9 opening");

    Result v092 = parseFixture("rss-092.xml");
    ASSERT_NE(v092.rssFeed(), nullptr);
    const auto& items = *v092.rssFeed()->items;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_FALSE(items[0].link.has_value());
    EXPECT_EQ((*items[0].categories)[0].value, "Radio");
}

TEST(FeedParser, ReadsAtomLinksTextConstructsAndAuthors) {
    Result result = parseFixture("atom-links-xhtml.xml");
    const AtomFeed* feed = result.atomFeed();
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->subtitle, "Notes from the <em>workshop</em>");
    ASSERT_EQ(feed->links->size(), 2u);
    EXPECT_EQ((*feed->links)[0].attributes->rel, "self");
    EXPECT_EQ((*feed->links)[0].attributes->href, "https://workshop.example/feed.atom");
    EXPECT_EQ(feed->updated, utc(2025, 2, 1, 10, 0, 0));
    ASSERT_EQ(feed->categories->size(), 2u);
    EXPECT_EQ((*feed->categories)[1].attributes->term, "wood");
    ASSERT_EQ(feed->entries->size(), 2u);

    const AtomFeedEntry& entry = (*feed->entries)[0];
    EXPECT_EQ(entry.title, "Joinery &amp; glue");  // html: the markup as text, one level decoded
    ASSERT_EQ(entry.links->size(), 4u);
    EXPECT_EQ((*entry.links)[0].attributes->type, "image/jpeg");
    EXPECT_EQ((*entry.links)[2].attributes->href, "https://workshop.example/joinery");
    EXPECT_EQ((*entry.links)[2].attributes->rel, "alternate");
    EXPECT_EQ((*entry.links)[2].attributes->type, "text/html");
    EXPECT_EQ(entry.updated, utc(2025, 1, 31, 11, 30, 45) + milliseconds(250));
    EXPECT_EQ(entry.published, utc(2025, 1, 30, 8, 0, 0));
    ASSERT_EQ(entry.authors->size(), 2u);
    EXPECT_EQ((*entry.authors)[0].name, "Carl Example");
    EXPECT_EQ((*entry.authors)[0].email, "carl@workshop.example");
    EXPECT_EQ(entry.summary->value, "A short summary.");
    EXPECT_EQ(entry.content->type, "xhtml");
    EXPECT_EQ(
        entry.content->value,
        "<p>Dovetails &amp; <em>mortises</em>.</p><img src=\"https://workshop.example/j.jpg\" alt=\"\"/>");

    const AtomFeedEntry& second = (*feed->entries)[1];
    EXPECT_FALSE((*second.links)[0].attributes->type.has_value());
    EXPECT_EQ(second.summary->value, "<p>Stones and <b>strops</b></p>");
    EXPECT_FALSE(second.content.has_value());
    EXPECT_FALSE(second.updated.has_value());
    EXPECT_FALSE(second.categories.has_value());
}

TEST(FeedParser, ReadsAtom03) {
    Result result = parseFixture("atom-03.xml");
    const AtomFeed* feed = result.atomFeed();
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->subtitle, "An Atom 0.3 feed");
    EXPECT_EQ(feed->updated, utc(2004, 5, 1, 12, 0, 0));
    const AtomFeedEntry& entry = (*feed->entries)[0];
    EXPECT_EQ(entry.updated, utc(2004, 4, 30, 15, 0, 0));
    EXPECT_EQ(entry.published, utc(2004, 4, 30, 14, 0, 0));
    EXPECT_EQ(entry.content->value, "<p>Escaped <i>html</i></p>");
    EXPECT_EQ((*entry.authors)[0].name, "Eve Example");
    EXPECT_EQ((*feed->entries)[1].content->value, "Inline <b>xml</b>");
}

TEST(FeedParser, AtomTextConstructsOfEachType) {
    struct Case {
        const char* content;
        const char* value;
    };
    const Case cases[] = {
        {"<content type=\"text\">a &lt;b&gt; &amp; c</content>", "a <b> & c"},
        {"<content>plain</content>", "plain"},
        {"<content type=\"html\">&lt;p&gt;para&lt;/p&gt;</content>", "<p>para</p>"},
        {"<content type=\"html\"><![CDATA[<p>cdata & more</p>]]></content>", "<p>cdata & more</p>"},
        {"<content type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">one <b>two</b></div></content>",
         "one <b>two</b>"},
        {"<content type=\"xhtml\"><x:div xmlns:x=\"http://www.w3.org/1999/xhtml\">text &lt; "
         "only</x:div></content>",
         "text &lt; only"},
        {"<content type=\"text/plain\" src=\"http://x.example/body\"/>", nullptr},
    };
    for (const auto& c : cases) {
        std::string document =
            std::string(
                "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>T</title><entry><title>E</title>") +
            c.content + "</entry></feed>";
        Result result = parseText(document);
        ASSERT_NE(result.atomFeed(), nullptr) << c.content;
        const auto& content = (*result.atomFeed()->entries)[0].content;
        ASSERT_TRUE(content.has_value()) << c.content;
        if (c.value) {
            EXPECT_EQ(content->value, c.value) << c.content;
        } else {
            EXPECT_FALSE(content->value.has_value()) << c.content;
        }
    }
}

TEST(FeedParser, MatchesNamespacesByUriNotByPrefix) {
    std::string document = R"(<?xml version="1.0"?>
<a:feed xmlns:a="http://www.w3.org/2005/Atom"><a:title>Prefixed</a:title>
<a:entry><a:title>E</a:title><a:link href="http://x.example/e"/><title>not atom</title></a:entry>
<entry xmlns="http://example.com/other"><title>Foreign</title></entry>
</a:feed>)";
    Result result = parseText(document);
    ASSERT_NE(result.atomFeed(), nullptr);
    EXPECT_EQ(result.atomFeed()->title, "Prefixed");
    ASSERT_EQ(result.atomFeed()->entries->size(), 1u);
    EXPECT_EQ((*result.atomFeed()->entries)[0].title, "E");

    std::string rss =
        R"(<rss version="2.0" xmlns:atom="http://www.w3.org/2005/Atom" xmlns:x="http://example.com/x">
<channel><x:title>wrong</x:title><title>Right</title><atom:link href="http://self.example/" rel="self"/>
<link>http://right.example/</link></channel></rss>)";
    Result rssResult = parseText(rss);
    ASSERT_NE(rssResult.rssFeed(), nullptr);
    EXPECT_EQ(rssResult.rssFeed()->title, "Right");
    EXPECT_EQ(rssResult.rssFeed()->link, "http://right.example/");
}

TEST(FeedParser, ReadsJsonFeedOneOneWithAuthors) {
    Result result = parseFixture("jsonfeed-11-authors.json");
    const JSONFeed* feed = result.jsonFeed();
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->homePageURL, "https://garden.example/");
    EXPECT_EQ(feed->feedUrl, "https://garden.example/feed.json");
    ASSERT_TRUE(feed->author.has_value());
    EXPECT_EQ(feed->author->name, "Fay Example");
    ASSERT_EQ(feed->items->size(), 3u);
    const JSONFeedItem& item = (*feed->items)[0];
    EXPECT_EQ(item.author->name, "Gus Example");
    EXPECT_EQ(item.authors->size(), 2u);
    EXPECT_EQ(item.contentHtml, "<p>Red ones.</p>");
    EXPECT_EQ(item.datePublished, utc(2025, 3, 1, 8, 0, 0));
    EXPECT_EQ(item.tags, (std::vector<std::string>{"vegetables", "summer", "vegetables"}));
    EXPECT_EQ((*feed->items)[1].externalUrl, "https://elsewhere.example/roses");
    EXPECT_EQ((*feed->items)[1].dateModified, utc(2025, 3, 2, 9, 15, 0));
    EXPECT_FALSE((*feed->items)[1].tags.has_value());
    EXPECT_EQ((*feed->items)[2].id, "3");
    EXPECT_FALSE((*feed->items)[2].title.has_value());

    Result old = parseFixture("jsonfeed-10.json");
    ASSERT_NE(old.jsonFeed(), nullptr);
    EXPECT_EQ(old.jsonFeed()->author->name, "Ida Example");
    EXPECT_FALSE((*old.jsonFeed()->items)[0].author->name.has_value());
}

TEST(FeedParser, JsonThatIsNoFeedFails) {
    const char* cases[] = {"{\"title\": \"no version, no items\"}", "{\"version\": 1, \"items\": {}}",
                           "{broken", "{\"version\":\"https://jsonfeed.org/version/1\",\"title\":\"x\""};
    for (const char* text : cases) {
        Result result = parseText(text);
        EXPECT_FALSE(result.isSuccess()) << text;
        ASSERT_TRUE(result.error().has_value());
    }
    Result wrongTypes = parseText(
        R"({"version":"https://jsonfeed.org/version/1","title":5,"items":[{"title":["x"],"url":7,"tags":"a"}, 3]})");
    ASSERT_NE(wrongTypes.jsonFeed(), nullptr);
    EXPECT_FALSE(wrongTypes.jsonFeed()->title.has_value());
    ASSERT_EQ(wrongTypes.jsonFeed()->items->size(), 1u);
    EXPECT_FALSE((*wrongTypes.jsonFeed()->items)[0].title.has_value());
}

// --- Text -----------------------------------------------------------------

TEST(FeedParser, DecodesEntitiesCdataAndKeepsUnescapedMarkup) {
    struct Case {
        const char* description;
        const char* expected;
    };
    const Case cases[] = {
        {"a &amp; b &lt;i&gt; &#233; &#x20AC;", "a & b <i> \u00e9 \u20ac"},
        {"<![CDATA[<p>x & y</p>]]>", "<p>x & y</p>"},
        {"before <![CDATA[<b>]]> after", "before <b> after"},
        {"Hello <b>bold</b> &amp; <br/>", "Hello <b>bold</b> &amp; <br/>"},
        {"caf\u00e9 <b>\u20ac</b>", "caf\u00e9 <b>\u20ac</b>"},  // serialised markup stays UTF-8
        {"", ""},
    };
    for (const auto& c : cases) {
        Result result = parseText(rssWithItemDescription(c.description));
        ASSERT_NE(result.rssFeed(), nullptr) << c.description;
        EXPECT_EQ((*result.rssFeed()->items)[0].description, c.expected) << c.description;
    }
}

TEST(FeedParser, ExpandsEntitiesTheDocumentDeclares) {
    Result result = parseFixture("declared-entity.xml");
    ASSERT_NE(result.rssFeed(), nullptr);
    EXPECT_EQ(result.rssFeed()->title, "Entity Example News");
    EXPECT_EQ((*result.rssFeed()->items)[0].title, "About Entity Example");
}

// --- Encodings ------------------------------------------------------------

TEST(FeedParser, ConvertsDeclaredEncodingsToUTF8) {
    Result cp1252 = parseFixture("windows-1252.xml");
    ASSERT_NE(cp1252.rssFeed(), nullptr) << cp1252.error()->message;
    EXPECT_EQ(cp1252.rssFeed()->title, "Caf\u00e9 \u201cQuotes\u201d");
    EXPECT_EQ((*cp1252.rssFeed()->items)[0].title, "Price \u20ac 5 \u2013 na\u00efve");
    EXPECT_EQ((*cp1252.rssFeed()->items)[0].description, "r\u00e9sum\u00e9");

    Result latin1 = parseText(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss><channel><title>\xe9t\xe9</title>"
        "</channel></rss>");
    ASSERT_NE(latin1.rssFeed(), nullptr);
    EXPECT_EQ(latin1.rssFeed()->title, "\u00e9t\u00e9");
}

TEST(FeedParser, HonoursByteOrderMarksAndDefaultsToUTF8) {
    Result utf8Default = parseText("<rss><channel><title>\u00fcber \u2603</title></channel></rss>");
    ASSERT_NE(utf8Default.rssFeed(), nullptr);
    EXPECT_EQ(utf8Default.rssFeed()->title, "\u00fcber \u2603");

    Result utf8Bom =
        parseText("\xEF\xBB\xBF<?xml version=\"1.0\"?><rss><channel><title>B\u00f6m</title></channel></rss>");
    ASSERT_NE(utf8Bom.rssFeed(), nullptr);
    EXPECT_EQ(utf8Bom.rssFeed()->title, "B\u00f6m");

    Result jsonBom =
        parseText("\xEF\xBB\xBF{\"version\":\"https://jsonfeed.org/version/1.1\",\"title\":\"J\"}");
    ASSERT_NE(jsonBom.jsonFeed(), nullptr);

    // UTF-16 little endian with its mark, as some Windows tools write feeds.
    std::u16string text =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><rss><channel><title>Sixteen \u00e9</title>"
        u"</channel></rss>";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    Result utf16 = parseText(bytes);
    ASSERT_NE(utf16.rssFeed(), nullptr) << utf16.error()->message;
    EXPECT_EQ(utf16.rssFeed()->title, "Sixteen \u00e9");
}

// --- Malformed documents --------------------------------------------------

TEST(FeedParser, RecoversFromStrayAmpersandsAndHtmlEntities) {
    Result result = parseFixture("stray-amp-nbsp.xml");
    const RSSFeed* feed = result.rssFeed();
    ASSERT_NE(feed, nullptr) << result.error()->message;
    EXPECT_EQ(feed->title, "Ben & Jerry\u2019s News");
    EXPECT_EQ(feed->link, "https://news.example/?a=1&b=2");
    EXPECT_EQ(feed->description, "Sloppy\u00a0feed");
    const RSSFeedItem& item = (*feed->items)[0];
    EXPECT_EQ(item.title, "Fish & chips \u00a9 2025\u00a0edition");
    EXPECT_EQ(item.link, "https://news.example/fish?x=1&y=2");
    ASSERT_TRUE(item.description.has_value());
    EXPECT_NE(item.description->find("AT&T says"), std::string::npos);
    EXPECT_NE(item.description->find("\u20ac5"), std::string::npos);
    EXPECT_NE(item.description->find("raw & kept"), std::string::npos);
    EXPECT_EQ(item.pubDate, utc(2025, 1, 14, 10, 0, 0));
}

TEST(FeedParser, RecoversFromOtherCommonFaults) {
    struct Case {
        std::string document;
        const char* title;
    };
    const Case cases[] = {
        {"<rss><channel><title>a < b</title></channel></rss>", "a < b"},
        {"<rss><channel><title>bell\x07 here</title></channel></rss>", "bell here"},
        {"<rss><channel><title>ref&#1;&#x41;</title></channel></rss>", "refA"},
        {"  \n<?xml version=\"1.0\"?><rss><channel><title>late prolog</title></channel></rss>",
         "late prolog"},
        {"<rss><channel><title>undeclared &bogus; entity</title></channel></rss>", "undeclared &bogus; entity"},
        {"<rss><channel><title x=\"1\" x=\"2\">twice</title></channel></rss>", "twice"},
    };
    for (const auto& c : cases) {
        Result result = parseText(c.document);
        ASSERT_NE(result.rssFeed(), nullptr) << c.document;
        EXPECT_EQ(result.rssFeed()->title, c.title) << c.document;
    }
}

TEST(FeedParser, BlankRssLinksCountAsMissing) {
    Result result = parseText(
        "<rss><channel><title>t</title><item><title>i</title><link> \n </link><guid>  </guid></item>"
        "<item><title>j</title><link/><guid>http://g.example/</guid></item></channel></rss>");
    ASSERT_NE(result.rssFeed(), nullptr);
    const auto& items = *result.rssFeed()->items;
    EXPECT_FALSE(items[0].link.has_value());
    EXPECT_FALSE(items[0].guid->value.has_value());
    EXPECT_FALSE(items[1].link.has_value());
    EXPECT_EQ(items[1].guid->value, "http://g.example/");
}

TEST(FeedParser, DocumentsThatAreNoFeedFailCleanly) {
    struct Case {
        std::string text;
        FeedError::Code code;
    };
    const Case cases[] = {
        {test::readFixture("feeds/html-page.html"), FeedError::Code::malformedXML},
        {"<html><body><p>well-formed page</p></body></html>", FeedError::Code::notAFeed},
        {"<feed><title>Atom without its namespace is fine</title></feed>", FeedError::Code::notAFeed},
        {"", FeedError::Code::malformedXML},
        {"   \n  ", FeedError::Code::malformedXML},
        {"just some text", FeedError::Code::malformedXML},
        {"[1, 2, 3]", FeedError::Code::malformedXML},
        {"<opml version=\"2.0\"><body/></opml>", FeedError::Code::notAFeed},
    };
    for (const auto& c : cases) {
        Result result = parseText(c.text);
        if (c.text.find("Atom without") != std::string::npos) {
            EXPECT_EQ(result.kind(), Result::Case::atom);  // no namespace is read as Atom
            continue;
        }
        ASSERT_FALSE(result.isSuccess()) << c.text;
        EXPECT_EQ(result.error()->code, c.code) << c.text;
        EXPECT_FALSE(result.error()->message.empty());
    }
}

// --- Hostile input --------------------------------------------------------

TEST(FeedParser, RefusesEntityExpansionBombs) {
    Result result = parseFixture("billion-laughs.xml");
    ASSERT_FALSE(result.isSuccess());

    // A milder amplifier (10 MB from 8 KB) that libxml2 lets through meets our own budget.
    std::string document = "<!DOCTYPE rss [<!ENTITY a \"" + std::string(1000, 'x') + "\">";
    document += "<!ENTITY b \"";
    for (int i = 0; i < 100; ++i) document += "&a;";
    document +=
        "\">]><rss><channel><title>t</title><item><title>i</title><link>http://x.example/</link>"
        "<description>";
    for (int i = 0; i < 100; ++i) document += "&b;";
    document += "</description></item></channel></rss>";
    Result mild = parseText(document);
    ASSERT_FALSE(mild.isSuccess());
    EXPECT_EQ(mild.error()->code, FeedError::Code::unsafeContent);
}

TEST(FeedParser, NeverReadsExternalEntitiesOrDtds) {
    test::TempDir dir;
    auto secret = dir.path() / "secret.txt";
    std::ofstream(secret) << "TOP-SECRET-7731";
    auto dtd = dir.path() / "evil.dtd";
    std::ofstream(dtd) << "<!ENTITY leak \"TOP-SECRET-7731\">";
    const std::string url = "file://" + secret.string();
    const std::string dtdUrl = "file://" + dtd.string();
    const std::string documents[] = {
        "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY xxe SYSTEM \"" + url +
            "\">]><rss><channel><title>A "
            "&xxe;</title><item><title>&xxe;</title><link>http://x.example/</link>"
            "<description>&xxe;</description></item></channel></rss>",
        "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY % p SYSTEM \"" + dtdUrl +
            "\"> %p;]><rss><channel><title>B &leak;</title></channel></rss>",
        "<?xml version=\"1.0\"?><!DOCTYPE rss SYSTEM \"" + dtdUrl +
            "\"><rss><channel><title>C &leak;</title></channel></rss>",
        "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY xxe SYSTEM \"http://127.0.0.1:9/x\">]>"
        "<rss><channel><title>D &xxe;</title></channel></rss>",
    };
    for (const auto& document : documents) {
        Result result = parseText(document);
        if (!result.isSuccess()) continue;
        const RSSFeed* feed = result.rssFeed();
        ASSERT_NE(feed, nullptr);
        EXPECT_EQ(feed->title->find("TOP-SECRET"), std::string::npos) << *feed->title;
        if (feed->items) {
            for (const auto& item : *feed->items) {
                EXPECT_EQ(item.title.value_or("").find("TOP-SECRET"), std::string::npos);
                EXPECT_EQ(item.description.value_or("").find("TOP-SECRET"), std::string::npos);
            }
        }
    }
}

TEST(FeedParser, RefusesDocumentsOverFiftyMebibytesUnread) {
    std::string huge = "<rss><channel><title>big</title><description>";
    huge.resize(100u * 1024u * 1024u, 'x');
    auto started = steady_clock::now();
    Result result = parseText(std::move(huge));
    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error()->code, FeedError::Code::tooLarge);
    EXPECT_LT(steady_clock::now() - started, seconds(5));
}

TEST(FeedParser, DeeplyNestedDocumentsFail) {
    std::string xml =
        "<rss><channel><title>deep</title><item><title>i</title><link>http://x.example/</link>"
        "<description>";
    for (int i = 0; i < 100000; ++i) xml += "<d>";
    for (int i = 0; i < 100000; ++i) xml += "</d>";
    xml += "</description></item></channel></rss>";
    EXPECT_FALSE(parseText(xml).isSuccess());

    std::string json = "{\"version\":\"https://jsonfeed.org/version/1\",\"title\":\"deep\",\"x\":";
    json += std::string(100000, '[') + std::string(100000, ']') + "}";
    Result jsonResult = parseText(json);
    ASSERT_FALSE(jsonResult.isSuccess());
    EXPECT_EQ(jsonResult.error()->code, FeedError::Code::malformedJSON);
}

// One bad byte must not lose the whole feed: it reads as U+FFFD, as in browsers.
TEST(FeedParser, InvalidUTF8BecomesReplacementCharacters) {
    struct Case {
        const char* text;
        const char* title;
    };
    const Case cases[] = {
        {"<rss><channel><title>bad \xC3\x28 byte</title></channel></rss>", "bad \xEF\xBF\xBD( byte"},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel><title>\xFF\xFE</title></channel></rss>",
         "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"<rss><channel><title>cut \xE2\x82</title></channel></rss>", "cut \xEF\xBF\xBD"},
        {"{\"version\":\"https://jsonfeed.org/version/1\",\"title\":\"bad \xC3\x28\"}", "bad \xEF\xBF\xBD("},
    };
    for (const auto& c : cases) {
        Result result = parseText(c.text);
        ASSERT_TRUE(result.isSuccess()) << c.text;
        std::optional<std::string> title;
        if (auto* rss = result.rssFeed()) title = rss->title;
        if (auto* json = result.jsonFeed()) title = json->title;
        EXPECT_EQ(title, c.title) << c.text;
    }
}

TEST(FeedParser, TruncatedDocumentsFail) {
    const char* fixtures[] = {"podcast-itunes.xml",       "rss-10.rdf",
                              "atom-links-xhtml.xml",     "atom-03.xml",
                              "jsonfeed-11-authors.json", "stray-amp-nbsp.xml"};
    for (const char* fixture : fixtures) {
        std::string whole = test::readFixture(std::string("feeds/") + fixture);
        for (int percent : {5, 25, 50, 75, 95}) {
            std::string cut = whole.substr(0, whole.size() * percent / 100);
            EXPECT_FALSE(parseText(cut).isSuccess()) << fixture << " cut at " << percent << "%";
        }
    }
}

// --- Queue ----------------------------------------------------------------

TEST(FeedParser, ParsesOnSeveralThreadsAtOnce) {
    const std::string documents[] = {
        test::readFixture("feeds/podcast-itunes.xml"), test::readFixture("feeds/stray-amp-nbsp.xml"),
        test::readFixture("feeds/atom-links-xhtml.xml"), test::readFixture("feeds/html-page.html")};
    std::vector<std::future<int>> workers;
    for (int t = 0; t < 4; ++t) {
        workers.push_back(std::async(std::launch::async, [&, t] {
            int successes = 0;
            for (int i = 0; i < 48; ++i) successes += FeedParser(documents[(t + i) % 4]).parse().isSuccess();
            return successes;
        }));
    }
    for (auto& worker : workers) EXPECT_EQ(worker.get(), 36);  // every fourth is the HTML page
}

TEST(FeedParser, ParseAsyncParsesOnTheGivenQueueAndCallsBackOnce) {
    auto queue = makeDispatchQueue("feedkit_test_queue", QualityOfService::utility);
    std::promise<std::pair<std::string, bool>> delivered;
    std::atomic<int> calls{0};
    {
        FeedParser parser(test::readFixture("feeds/atom-03.xml"));
        parser.parseAsync(*queue, [&](Result result) {
            ++calls;
            delivered.set_value({std::string(dispatch::currentQueueLabel()), result.isSuccess()});
        });
    }  // the parser may go before the parse runs
    auto [label, success] = delivered.get_future().get();
    queue->sync([] {});
    EXPECT_EQ(label, "feedkit_test_queue");
    EXPECT_TRUE(success);
    EXPECT_EQ(calls.load(), 1);
}
