// What users' feeds really hold, read through the whole parsing path (bytes
// to uniform feed), one small document per shape.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "feeds/RSSParser.h"
#include "platform/feedkit/FeedParser.h"
#include "support/LogCapture.h"

using namespace std::chrono;
using namespace tallowmere;
namespace fk = tallowmere::feedkit;

namespace {

struct Parsed {
    std::optional<RSSFeed> feed;
    std::optional<fk::FeedError> error;
};

Parsed parse(const std::string& bytes, const std::string& url = "https://feeds.example/path/feed.xml",
             std::optional<std::string> contentType = std::nullopt) {
    Parsed parsed;
    RSSParser::parse(fk::FeedParser(bytes, url, std::move(contentType)).parse(),
                     [&](std::optional<RSSFeed> feed, std::optional<fk::FeedError> error) {
                         parsed.feed = std::move(feed);
                         parsed.error = std::move(error);
                     },
                     url);
    return parsed;
}

std::string rss(const std::string& channel, const std::string& namespaces = "") {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" " + namespaces + "><channel>" + channel +
           "</channel></rss>";
}

std::string atom(const std::string& body) {
    return "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\">" + body + "</feed>";
}

// Latin-1 text as UTF-16LE with a byte-order mark.
std::string utf16LittleEndian(const std::string& latin1) {
    std::string out = "\xFF\xFE";
    for (char c : latin1) {
        out += c;
        out += '\0';
    }
    return out;
}

constexpr const char* kDublinCore = "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"";
constexpr const char* kTerms = "xmlns:dcterms=\"http://purl.org/dc/terms/\"";
constexpr const char* kITunes = "xmlns:itunes=\"http://www.itunes.com/dtds/podcast-1.0.dtd\"";
constexpr const char* kMedia = "xmlns:media=\"http://search.yahoo.com/mrss/\"";

system_clock::time_point utc(int y, unsigned mo, unsigned d, int h = 0, int mi = 0) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi};
}

const RSSArticle& only(const Parsed& parsed) {
    EXPECT_TRUE(parsed.feed.has_value());
    EXPECT_EQ(parsed.feed->articles.size(), 1u);
    return parsed.feed->articles.front();
}

struct Shape {
    const char* name;
    std::string document;
    std::function<void(const Parsed&)> check;
    std::string url = "https://feeds.example/path/feed.xml";
    std::optional<std::string> contentType = std::nullopt;
};

void run(const std::vector<Shape>& shapes) {
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        Parsed parsed = parse(shape.document, shape.url, shape.contentType);
        ASSERT_TRUE(parsed.feed.has_value()) << (parsed.error ? parsed.error->message : "no feed");
        shape.check(parsed);
    }
}

}  // namespace

// Untitled feeds and items are kept; only items with nothing to point at go.
TEST(FeedShapes, UntitledFeedsAndItems) {
    run({
        {"feed named after its site",
         rss("<link>https://www.site.example/blog</link><item><title>t</title><link>/a</link></item>"),
         [](const Parsed& p) { EXPECT_EQ(p.feed->name, "site.example"); }},
        {"feed named after where it was read from", rss("<item><title>t</title><link>/a</link></item>"),
         [](const Parsed& p) { EXPECT_EQ(p.feed->name, "feeds.example"); }},
        {"item named after the first words of its text",
         rss("<title>F</title><item><link>http://x.example/1</link><description>&lt;p&gt;The "
             "&lt;b&gt;quick&lt;/b&gt; brown fox jumps over the lazy dog, and then it runs far away into "
             "the hills&lt;/p&gt;</description></item>"),
         [](const Parsed& p) {
             EXPECT_EQ(only(p).title(), "The quick brown fox jumps over the lazy dog, and then it\u2026");
         }},
        {"short text is the whole title",
         "{\"version\":\"https://jsonfeed.org/version/1.1\",\"title\":\"Micro\",\"items\":[{\"id\":\"1\","
         "\"content_text\":\"Coffee, then code.\"}]}",
         [](const Parsed& p) {
             EXPECT_EQ(only(p).title(), "Coffee, then code.");
             EXPECT_EQ(only(p).link(), "1");
         }},
        {"item without text named after its date",
         rss("<title>F</title><item><link>http://x.example/1</link><pubDate>Tue, 10 Jun 2003 04:00:00 "
             "GMT</pubDate></item>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).title(), "10 Jun 2003, 04:00"); }},
        {"item with only text gets a stable address on the site",
         rss("<title>F</title><link>https://site.example/</link><item><description>one</description></item>"
             "<item><description>two</description></item><item><title>nothing at all</title></item>"),
         [](const Parsed& p) {
             ASSERT_EQ(p.feed->articles.size(), 2u);
             EXPECT_EQ(p.feed->articles[0].link().rfind("https://site.example/#item-", 0), 0u);
             EXPECT_NE(p.feed->articles[0].link(), p.feed->articles[1].link());
             EXPECT_EQ(parse(rss("<title>F</title><link>https://site.example/</link><item><description>one"
                                 "</description></item>"))
                           .feed->articles[0]
                           .link(),
                       p.feed->articles[0].link());
         }},
        {"atom entry without link takes its id",
         atom("<title>A</title><entry><id>tag:x.example,2024:1</id><title>e</title></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).link(), "tag:x.example,2024:1"); }},
    });
}

// Dublin Core, RSS <author>, iTunes, Media RSS and XHTML bodies stand in
// where the usual elements are missing, and only there.
TEST(FeedShapes, AlternativeElements) {
    std::string ns = std::string(kDublinCore) + " " + kTerms + " " + kITunes + " " + kMedia;
    run({
        {"dublin core",
         rss("<dc:title>Channel</dc:title><item><dc:title>Item</dc:title><link>http://x.example/1</link>"
             "<dc:description>Body</dc:description><dc:subject>one</dc:subject><dc:subject>two</dc:subject>"
             "<dcterms:issued>2024-05-01T10:00:00Z</dcterms:issued></item>",
             ns),
         [](const Parsed& p) {
             EXPECT_EQ(p.feed->name, "Channel");
             const auto& a = only(p);
             EXPECT_EQ(a.title(), "Item");
             EXPECT_EQ(a.content(), "Body");
             EXPECT_EQ(a.tags(), (std::set<std::string>{"one", "two"}));
             EXPECT_EQ(a.date(), utc(2024, 5, 1, 10));
         }},
        {"dcterms modified",
         rss("<title>F</title><item><title>t</title><link>http://x.example/1</link>"
             "<dcterms:modified>2024-05-02T00:00:00Z</dcterms:modified></item>",
             ns),
         [](const Parsed& p) { EXPECT_EQ(only(p).date(), utc(2024, 5, 2)); }},
        {"rss author",
         rss("<title>F</title><item><title>t</title><link>http://x.example/1</link>"
             "<author>ann@x.example (Ann)</author></item>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).creator(), "ann@x.example (Ann)"); }},
        {"itunes",
         rss("<title>F</title><item><title>t</title><link>http://x.example/1</link><itunes:author>Bo</itunes:author>"
             "<itunes:summary>Notes</itunes:summary><itunes:category text=\"Arts\"><itunes:category "
             "text=\"Design\"/></itunes:category></item>",
             ns),
         [](const Parsed& p) {
             const auto& a = only(p);
             EXPECT_EQ(a.creator(), "Bo");
             EXPECT_EQ(a.content(), "Notes");
             EXPECT_EQ(a.tags(), (std::set<std::string>{"Arts", "Design"}));
         }},
        {"media rss, also inside a group",
         rss("<title>F</title><item><link>http://x.example/1</link><media:group><media:title>Clip</media:title>"
             "<media:description>About</media:description></media:group><media:category>video"
             "</media:category></item>",
             ns),
         [](const Parsed& p) {
             const auto& a = only(p);
             EXPECT_EQ(a.title(), "Clip");
             EXPECT_EQ(a.content(), "About");
             EXPECT_EQ(a.tags(), std::set<std::string>{"video"});
         }},
        {"xhtml body",
         rss("<title>F</title><item><title>t</title><link>http://x.example/1</link><body "
             "xmlns=\"http://www.w3.org/1999/xhtml\"><p>Hi <b>there</b></p></body></item>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).content(), "<p>Hi <b>there</b></p>"); }},
        {"usual elements win",
         rss("<title>Usual</title><dc:title>DC</dc:title><item><title>T</title><dc:title>D</dc:title>"
             "<link>http://x.example/1</link><description>Desc</description><itunes:summary>S</itunes:summary>"
             "<category>c</category><dc:subject>s</dc:subject><dc:creator>C</dc:creator><author>a@x</author>"
             "</item>",
             ns),
         [](const Parsed& p) {
             EXPECT_EQ(p.feed->name, "Usual");
             const auto& a = only(p);
             EXPECT_EQ(a.title(), "T");
             EXPECT_EQ(a.content(), "Desc");
             EXPECT_EQ(a.tags(), std::set<std::string>{"c"});
             EXPECT_EQ(a.creator(), "C");
         }},
    });
}

// The first of repeated date elements holds; Atom's published date is read.
TEST(FeedShapes, AtomPublishedAndRepeatedDates) {
    run({
        {"published only",
         atom("<title>A</title><entry><title>e</title><link href=\"http://x.example/1\"/>"
              "<published>2024-03-01T08:00:00Z</published></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).date(), utc(2024, 3, 1, 8)); }},
        {"atom 0.3 issued",
         "<feed version=\"0.3\" xmlns=\"http://purl.org/atom/ns#\"><title>A</title><entry><title>e</title>"
         "<link rel=\"alternate\" type=\"text/html\" href=\"http://x.example/1\"/><issued>2024-03-02T00:00:00Z"
         "</issued></entry></feed>",
         [](const Parsed& p) { EXPECT_EQ(only(p).date(), utc(2024, 3, 2)); }},
        {"updated wins over published",
         atom("<title>A</title><entry><title>e</title><link href=\"http://x.example/1\"/>"
              "<published>2024-03-01T00:00:00Z</published><updated>2024-03-05T00:00:00Z</updated></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).date(), utc(2024, 3, 5)); }},
        {"repeated updated keeps the first",
         atom("<title>A</title><entry><title>e</title><link href=\"http://x.example/1\"/>"
              "<updated>2024-03-05T00:00:00Z</updated><updated>2025-01-01T00:00:00Z</updated></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).date(), utc(2024, 3, 5)); }},
        {"repeated pubDate keeps the first",
         rss("<title>F</title><item><title>t</title><link>http://x.example/1</link><pubDate>Sat, 02 Mar 2024 "
             "00:00:00 GMT</pubDate><pubDate>Mon, 01 Jan 2024 00:00:00 GMT</pubDate></item>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).date(), utc(2024, 3, 2)); }},
    });
}

// Relative addresses are made absolute against xml:base, scoped per element,
// else against the address the document came from.
TEST(FeedShapes, RelativeAddresses) {
    run({
        {"rss link against the document address",
         rss("<title>F</title><link>/</link><item><title>t</title><link>../posts/1</link></item>"),
         [](const Parsed& p) {
             EXPECT_EQ(p.feed->link, "https://feeds.example/");
             EXPECT_EQ(only(p).link(), "https://feeds.example/posts/1");
         },
         "https://feeds.example/path/feed.xml"},
        {"permalink guid resolved, other guid kept",
         rss("<title>F</title><item><title>a</title><guid>/p/1</guid></item><item><title>b</title>"
             "<guid isPermaLink=\"false\">1234</guid></item>"),
         [](const Parsed& p) {
             ASSERT_EQ(p.feed->articles.size(), 2u);
             EXPECT_EQ(p.feed->articles[0].link(), "https://feeds.example/p/1");
             EXPECT_EQ(p.feed->articles[1].link(), "1234");
         }},
        {"atom xml:base scoped per element",
         "<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:base=\"http://base.example/blog/\"><title>A</title>"
         "<link href=\"./\"/><entry xml:base=\"entries/\"><title>e</title><link href=\"one\"/></entry>"
         "<entry><title>f</title><link href=\"two\"/></entry></feed>",
         [](const Parsed& p) {
             EXPECT_EQ(p.feed->link, "http://base.example/blog/");
             ASSERT_EQ(p.feed->articles.size(), 2u);
             EXPECT_EQ(p.feed->articles[0].link(), "http://base.example/blog/entries/one");
             EXPECT_EQ(p.feed->articles[1].link(), "http://base.example/blog/two");
         }},
        {"json feed against the document address",
         "{\"version\":\"https://jsonfeed.org/version/1\",\"title\":\"J\",\"home_page_url\":\"/\",\"items\":["
         "{\"id\":\"1\",\"title\":\"t\",\"url\":\"posts/1\"}]}",
         [](const Parsed& p) {
             EXPECT_EQ(p.feed->link, "https://feeds.example/");
             EXPECT_EQ(only(p).link(), "https://feeds.example/path/posts/1");
         }},
        {"absolute addresses untouched",
         rss("<title>F</title><item><title>t</title><link> https://other.example/a?b=1 </link></item>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).link(), "https://other.example/a?b=1"); }},
    });
}

TEST(FeedShapes, AtomLinkChoice) {
    run({
        {"a link without rel is the alternate one",
         atom("<title>A</title><entry><title>e</title><link rel=\"related\" href=\"http://x.example/rel\"/>"
              "<link href=\"http://x.example/page\"/></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).link(), "http://x.example/page"); }},
        {"alternate beats related and via",
         atom("<title>A</title><entry><title>e</title><link rel=\"via\" type=\"text/html\" "
              "href=\"http://x.example/via\"/><link rel=\"alternate\" href=\"http://x.example/alt\"/></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).link(), "http://x.example/alt"); }},
        {"address in the element text",
         atom("<title>A</title><entry><title>e</title><link>http://x.example/text</link></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).link(), "http://x.example/text"); }},
    });
}

TEST(FeedShapes, Base64AtomContent) {
    // "<p>Hello, world</p>"
    run({
        {"atom 0.3 mode",
         "<feed version=\"0.3\" xmlns=\"http://purl.org/atom/ns#\"><title>A</title><entry><title>e</title>"
         "<link rel=\"alternate\" type=\"text/html\" href=\"http://x.example/1\"/><content type=\"text/html\" "
         "mode=\"base64\">PHA+SGVsbG8s\nIHdvcmxkPC9wPg==</content></entry></feed>",
         [](const Parsed& p) { EXPECT_EQ(only(p).content(), "<p>Hello, world</p>"); }},
        {"atom 1.0 binary type",
         atom("<title>A</title><entry><title>e</title><link href=\"http://x.example/1\"/>"
              "<content type=\"application/octet-stream\">PHA+SGVsbG8sIHdvcmxkPC9wPg==</content></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).content(), "<p>Hello, world</p>"); }},
        {"text types stay as they are",
         atom("<title>A</title><entry><title>e</title><link href=\"http://x.example/1\"/>"
              "<content type=\"text/plain\">PHA+</content></entry>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).content(), "PHA+"); }},
    });
}

// One bad byte must not lose the feed; Latin-1 is Windows-1252; the HTTP
// charset overrides the declaration for text and XML types.
TEST(FeedShapes, CharacterSets) {
    const std::string latin1InUTF8 = rss("<title>Caf\xE9</title>");
    const std::string unassigned =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + rss("<title>a\x81 b\x93q\x94</title>").substr(21);
    const std::string declaredLatin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss><channel><title>\x93quoted\x94 \x96 dash</title>"
        "</channel></rss>";
    const std::string declaredUTF8 =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel><title>na\xEFve</title></channel></rss>";
    run({
        {"latin-1 byte in a utf-8 feed", latin1InUTF8,
         [](const Parsed& p) { EXPECT_EQ(p.feed->name, "Caf\uFFFD"); }},
        {"unassigned windows-1252 byte", unassigned,
         [](const Parsed& p) { EXPECT_EQ(p.feed->name, "a\u0081 b\u201Cq\u201D"); }},  // as browsers read it
        {"iso-8859-1 read as windows-1252", declaredLatin1,
         [](const Parsed& p) { EXPECT_EQ(p.feed->name, "\u201Cquoted\u201D \u2013 dash"); }},
        {"http charset overrides the declaration", declaredUTF8,
         [](const Parsed& p) { EXPECT_EQ(p.feed->name, "na\u00EFve"); }, "https://feeds.example/f",
         "text/xml; charset=ISO-8859-1"},
        {"http charset of other types ignored", declaredLatin1,
         [](const Parsed& p) { EXPECT_EQ(p.feed->name, "\u201Cquoted\u201D \u2013 dash"); },
         "https://feeds.example/f", "application/xml; charset=utf-8"},
        {"utf-16 with a byte-order mark",
         utf16LittleEndian("<rss><channel><title>\xE9</title></channel></rss>"),
         [](const Parsed& p) { EXPECT_EQ(p.feed->name, "\u00E9"); }},
    });
}

TEST(FeedShapes, RecognisedAsFeeds) {
    run({
        {"rss 2.0 in the userland namespace",
         "<rss version=\"2.0\" xmlns=\"http://backend.userland.com/rss2\"><channel><title>U</title><item>"
         "<title>t</title><link>http://x.example/1</link></item></channel></rss>",
         [](const Parsed& p) { EXPECT_EQ(only(p).title(), "t"); }},
        {"atom shape in an unknown namespace",
         "<feed xmlns=\"http://example.com/newformat#\"><title>N</title><entry><title>e</title>"
         "<link href=\"http://x.example/1\"/></entry></feed>",
         [](const Parsed& p) {
             EXPECT_EQ(p.feed->name, "N");
             EXPECT_EQ(only(p).link(), "http://x.example/1");
         }},
        {"cut inside the last end tag",
         "<rss version=\"2.0\"><channel><title>Cut</title><item><title>t</title><link>http://x.example/1</link>"
         "</item></channel></rss",
         [](const Parsed& p) { EXPECT_EQ(only(p).title(), "t"); }},
    });
}

TEST(FeedShapes, Dates) {
    auto item = [](const std::string& date) {
        return rss("<title>F</title><item><title>t</title><link>http://x.example/1</link><pubDate>" + date +
                   "</pubDate></item>");
    };
    struct Case {
        const char* date;
        system_clock::time_point expected;
    };
    const Case cases[] = {
        {"Tue, 10 Jun 2003 04:00 PM GMT", utc(2003, 6, 10, 16)},
        {"Tue, 10 Jun 2003 12:15 AM GMT", utc(2003, 6, 10, 0, 15)},
        {"Tue, 10 Jun 2003 12:15 pm GMT", utc(2003, 6, 10, 12, 15)},
        {"Tue, 10 Jun 2003 10:00:00 IST", utc(2003, 6, 10, 4, 30)},
        {"Tue, 10 Jun 2003 10:00:00 AEST", utc(2003, 6, 10, 0)},
        {"Tue, 10 Jun 2003 10:00:00 AEDT", utc(2003, 6, 9, 23)},
        {"Tue, 10 Jun 2003 10:00:00 JST", utc(2003, 6, 10, 1)},
        {"Tue, 10 Jun 2003 10:00:00 CET", utc(2003, 6, 10, 9)},
        {"Tue, 10 Jun 2003 10:00:00 CEST", utc(2003, 6, 10, 8)},
        {"Tue, 10 Jun 2003 10:00:00 BST", utc(2003, 6, 10, 9)},
        {"Tue, 10 Jun 2003 10:00:00 EET", utc(2003, 6, 10, 8)},
        {"Tue, 10 Jun 2003 10:00:00 HKT", utc(2003, 6, 10, 2)},
        {"Tue, 10 Jun 2003 10:00:00 SGT", utc(2003, 6, 10, 2)},
        {"Tue, 10 Jun 2003 10:00:00 NZST", utc(2003, 6, 9, 22)},
    };
    for (const auto& c : cases) {
        Parsed parsed = parse(item(c.date));
        EXPECT_EQ(only(parsed).date(), c.expected) << c.date;
    }

    test::LogCapture log;
    Parsed unknown = parse(item("Tue, 10 Jun 2003 10:00:00 XYZT"));
    EXPECT_EQ(only(unknown).date(), utc(2003, 6, 10, 10));  // the wall time is kept
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("XYZT"), std::string::npos);
}

TEST(FeedShapes, TitlesArePlainText) {
    run({
        {"markup elements and scripts in a title",
         rss("<title>F</title><item><title>Big <b>news</b><script>alert(1)</script> today</title>"
             "<link>http://x.example/1</link></item>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).title(), "Big news today"); }},
        {"comments in a title",
         rss("<title>F<!-- hidden --></title><item><title>A <!-- c -->B</title><link>http://x.example/1</link>"
             "</item>"),
         [](const Parsed& p) {
             EXPECT_EQ(p.feed->name, "F");
             EXPECT_EQ(only(p).title(), "A B");
         }},
        {"escaped markup in an html title",
         atom("<title type=\"html\">&lt;em&gt;Feed&lt;/em&gt;</title><entry><title type=\"html\">"
              "Q&amp;amp;A &lt;script&gt;x()&lt;/script&gt;&lt;!-- c --&gt;now</title>"
              "<link href=\"http://x.example/1\"/></entry>"),
         [](const Parsed& p) {
             EXPECT_EQ(p.feed->name, "Feed");
             EXPECT_EQ(only(p).title(), "Q&amp;A now");
         }},
        {"a less-than sign that opens nothing stays", rss("<title>F</title><item><title>a &lt; b</title>"
                                                          "<link>http://x.example/1</link></item>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).title(), "a < b"); }},
        {"unknown entity kept as written",
         rss("<title>F</title><item><title>Fish &doesnotexist; chips</title><link>http://x.example/1</link>"
             "</item>"),
         [](const Parsed& p) { EXPECT_EQ(only(p).title(), "Fish &doesnotexist; chips"); }},
    });
}

// Only the first items of a huge document are read, and the cut is logged.
TEST(FeedShapes, ItemLimit) {
    const size_t total = fk::FeedParser::kMaximumItems + 7;
    std::string items;
    std::string json = "{\"version\":\"https://jsonfeed.org/version/1\",\"title\":\"J\",\"items\":[";
    for (size_t i = 0; i < total; ++i) {
        items += "<item><title>" + std::to_string(i) + "</title><link>http://x.example/" + std::to_string(i) +
                 "</link></item>";
        json += std::string(i ? "," : "") + "{\"id\":\"" + std::to_string(i) + "\",\"title\":\"" +
                std::to_string(i) + "\"}";
    }
    json += "]}";
    const std::string atomEntries = [&] {
        std::string out;
        for (size_t i = 0; i < total; ++i)
            out += "<entry><title>" + std::to_string(i) + "</title><link href=\"http://x.example/" +
                   std::to_string(i) + "\"/></entry>";
        return out;
    }();
    const std::string documents[] = {rss("<title>R</title>" + items), atom("<title>A</title>" + atomEntries),
                                     json};
    for (const auto& document : documents) {
        test::LogCapture log;
        Parsed parsed = parse(document);
        ASSERT_TRUE(parsed.feed.has_value());
        ASSERT_EQ(parsed.feed->articles.size(), fk::FeedParser::kMaximumItems);
        EXPECT_EQ(parsed.feed->articles.front().title(), "0");
        EXPECT_EQ(parsed.feed->articles.back().title(), std::to_string(fk::FeedParser::kMaximumItems - 1));
        auto lines = log.lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("only the first 5000 items"), std::string::npos) << lines[0];
    }
}
