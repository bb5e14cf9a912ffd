#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "feeds/RSSParser.h"
#include "platform/dispatch/Queue.h"
#include "platform/feedkit/FeedParser.h"
#include "support/TempDir.h"

using namespace std::chrono;
using namespace tallowmere;
namespace fk = tallowmere::feedkit;

namespace {

using TimePoint = system_clock::time_point;

TimePoint mayDay(int d) { return sys_days{year{2024} / 5 / d}; }

fk::RSSFeedItem rssItem(std::optional<std::string> title, std::optional<std::string> link) {
    fk::RSSFeedItem item;
    item.title = std::move(title);
    item.link = std::move(link);
    return item;
}

fk::RSSFeed rssFeed(std::vector<fk::RSSFeedItem> items) {
    fk::RSSFeed feed;
    feed.title = "Feed";
    feed.items = std::move(items);
    return feed;
}

fk::AtomFeedEntryLink atomLink(std::optional<std::string> href, std::optional<std::string> rel = std::nullopt,
                               std::optional<std::string> type = std::nullopt) {
    return fk::AtomFeedEntryLink{
        fk::AtomFeedLink::Attributes{std::move(href), std::move(rel), std::move(type), {}}};
}

fk::AtomFeedEntry atomEntry(std::vector<fk::AtomFeedEntryLink> links) {
    fk::AtomFeedEntry entry;
    entry.title = "Entry";
    entry.links = std::move(links);
    return entry;
}

fk::AtomFeed atomFeed(std::vector<fk::AtomFeedEntry> entries) {
    fk::AtomFeed feed;
    feed.title = "Feed";
    feed.entries = std::move(entries);
    return feed;
}

fk::JSONFeedItem jsonItem() {
    fk::JSONFeedItem item;
    item.title = "Item";
    item.url = "https://json.example/item";
    return item;
}

fk::JSONFeed jsonFeed(std::vector<fk::JSONFeedItem> items) {
    fk::JSONFeed feed;
    feed.title = "Feed";
    feed.items = std::move(items);
    return feed;
}

// The single article of a one-item RSS feed, or nothing when it was dropped.
std::optional<RSSArticle> onlyArticle(const std::optional<RSSFeed>& feed) {
    if (!feed || feed->articles.empty()) return std::nullopt;
    EXPECT_EQ(feed->articles.size(), 1u);
    return feed->articles.front();
}

std::optional<RSSFeed> parseDocument(const std::string& text) {
    std::optional<RSSFeed> feed;
    RSSParser::parse(fk::FeedParser(text).parse(),
                     [&](std::optional<RSSFeed> f, auto) { feed = std::move(f); });
    return feed;
}

}  // namespace

// --- Shared rules ---------------------------------------------------------

TEST(RSSParser, NormalisesLinks) {
    struct Case {
        const char* link;
        const char* expected;
    };
    const Case cases[] = {
        {"//cdn.example/a", "http://cdn.example/a"},
        {"  https://a.example/x \n", "https://a.example/x"},
        {"\t\n //b.example/ \r\n", "http://b.example/"},
        {"https://c.example//d", "https://c.example//d"},
        {"http://e.example/", "http://e.example/"},
        {"/relative", "/relative"},
        {"\u00a0https://f.example/\u2003", "https://f.example/"},  // Unicode white space too
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RSSParser::normalizedLink(c.link), c.expected) << c.link;
}

TEST(RSSParser, FailuresPassTheErrorOnAndTitlelessFeedsGiveNeitherFeedNorError) {
    int calls = 0;
    auto failure = fk::Result::failure({fk::FeedError::Code::malformedXML, "broken"});
    RSSParser::parse(failure, [&](std::optional<RSSFeed> feed, std::optional<fk::FeedError> error) {
        ++calls;
        EXPECT_FALSE(feed.has_value());
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code, fk::FeedError::Code::malformedXML);
        EXPECT_EQ(error->message, "broken");
    });
    EXPECT_EQ(calls, 1);

    fk::RSSFeed untitledRss = rssFeed({rssItem("t", "http://x.example/")});
    untitledRss.title.reset();
    fk::AtomFeed untitledAtom = atomFeed({});
    untitledAtom.title.reset();
    fk::JSONFeed untitledJson = jsonFeed({jsonItem()});
    untitledJson.title.reset();
    for (const auto& result :
         {fk::Result::rss(untitledRss), fk::Result::atom(untitledAtom), fk::Result::json(untitledJson)}) {
        auto caller = std::this_thread::get_id();
        RSSParser::parse(result, [&](std::optional<RSSFeed> feed, std::optional<fk::FeedError> error) {
            ++calls;
            EXPECT_EQ(std::this_thread::get_id(), caller);
            EXPECT_FALSE(feed.has_value());
            EXPECT_FALSE(error.has_value());
        });
    }
    EXPECT_EQ(calls, 4);
}

TEST(RSSParser, FeedsWithoutItemsOrWithAllItemsDroppedHaveNoArticles) {
    fk::RSSFeed noItems = rssFeed({});
    noItems.items.reset();
    fk::AtomFeed noEntries = atomFeed({});
    noEntries.entries.reset();
    fk::JSONFeed noJsonItems = jsonFeed({});
    noJsonItems.items.reset();
    std::vector<std::optional<RSSFeed>> feeds = {
        RSSParser::map(noItems),
        RSSParser::map(noEntries),
        RSSParser::map(noJsonItems),
        // Neither a link, an ID nor text: nothing to keep.
        RSSParser::map(rssFeed({rssItem("t", std::nullopt), rssItem(std::nullopt, std::nullopt)})),
    };
    for (const auto& feed : feeds) {
        ASSERT_TRUE(feed.has_value());
        EXPECT_EQ(feed->name, "Feed");
        EXPECT_TRUE(feed->articles.empty());
    }
}

TEST(RSSParser, KeepsDocumentOrderAndDuplicateLinks) {
    auto feed = RSSParser::map(
        rssFeed({rssItem("b", "http://x.example/same"), rssItem("a", "http://x.example/same"),
                 rssItem("dropped", std::nullopt), rssItem("c", "http://x.example/other")}));
    ASSERT_TRUE(feed.has_value());
    ASSERT_EQ(feed->articles.size(), 3u);
    EXPECT_EQ(feed->articles[0].title(), "b");
    EXPECT_EQ(feed->articles[1].title(), "a");
    EXPECT_EQ(feed->articles[2].title(), "c");
    EXPECT_EQ(feed->articles[0].link(), feed->articles[1].link());
}

// --- RSS --------------------------------------------------------------------

TEST(RSSParser, RssFeedFields) {
    fk::RSSFeed feed = rssFeed({});
    feed.title = "  Untrimmed title ";
    feed.link = " //rss.example/ \n";
    auto mapped = RSSParser::map(feed);
    ASSERT_TRUE(mapped.has_value());
    EXPECT_EQ(mapped->name, "  Untrimmed title ");
    EXPECT_EQ(mapped->link, "http://rss.example/");
    EXPECT_FALSE(mapped->categories.has_value());

    feed.link.reset();
    feed.categories = std::vector<fk::RSSFeedCategory>{};
    mapped = RSSParser::map(feed);
    EXPECT_FALSE(mapped->link.has_value());
    EXPECT_FALSE(mapped->categories.has_value());  // an empty list counts as none

    feed.categories =
        std::vector<fk::RSSFeedCategory>{{"News", {}}, {std::nullopt, {}}, {"Tech", {}}, {"News", {}}};
    mapped = RSSParser::map(feed);
    EXPECT_EQ(mapped->categories, (std::set<std::string>{"News", "Tech"}));
}

TEST(RSSParser, RssItemLinkTitleContentCreatorAndTags) {
    struct Case {
        const char* name;
        fk::RSSFeedItem item;
        std::optional<std::string> link;  // nothing: the item is dropped
        std::string content;
    };
    auto with = [](fk::RSSFeedItem item, auto change) {
        change(item);
        return item;
    };
    const Case cases[] = {
        {"link", rssItem("t", " http://a.example/1\n"), "http://a.example/1", ""},
        {"guid when no link",
         with(rssItem("t", std::nullopt),
              [](auto& i) {
                  i.guid = fk::RSSFeedItemGUID{"http://g.example/", false};
              }),
         "http://g.example/", ""},
        {"link before guid",
         with(rssItem("t", "http://l.example/"),
              [](auto& i) {
                  i.guid = fk::RSSFeedItemGUID{"http://g.example/", true};
              }),
         "http://l.example/", ""},
        {"guid without value",
         with(rssItem("t", std::nullopt),
              [](auto& i) {
                  i.guid = fk::RSSFeedItemGUID{std::nullopt, true};
              }),
         std::nullopt, ""},
        {"no link", rssItem("t", std::nullopt), std::nullopt, ""},
        {"empty title counts", rssItem("", "http://a.example/"), "http://a.example/", ""},
        {"encoded content first",
         with(rssItem("t", "http://a.example/"),
              [](auto& i) {
                  i.content = fk::ContentNamespace{"  <p>full</p>\n"};
                  i.description = "short";
              }),
         "http://a.example/", "<p>full</p>"},
        {"description next",
         with(rssItem("t", "http://a.example/"), [](auto& i) { i.description = "\n short \t"; }),
         "http://a.example/", "short"},
        {"content module without body",
         with(rssItem("t", "http://a.example/"),
              [](auto& i) {
                  i.content = fk::ContentNamespace{};
                  i.description = "d";
              }),
         "http://a.example/", "d"},
        {"white space only",
         with(rssItem("t", "http://a.example/"), [](auto& i) { i.description = " \n\t\r "; }),
         "http://a.example/", ""},
    };
    for (const auto& c : cases) {
        auto article = onlyArticle(RSSParser::map(rssFeed({c.item})));
        ASSERT_EQ(article.has_value(), c.link.has_value()) << c.name;
        if (!article) continue;
        EXPECT_EQ(article->link(), *c.link) << c.name;
        EXPECT_EQ(article->content(), c.content) << c.name;
        EXPECT_EQ(article->title(), *c.item.title) << c.name;
        EXPECT_FALSE(article->topImageURL().has_value()) << c.name;
        EXPECT_FALSE(article->creator().has_value()) << c.name;
        EXPECT_FALSE(article->tags().has_value()) << c.name;
    }

    fk::RSSFeedItem item = rssItem("t", "http://a.example/");
    item.dublinCore.emplace();
    item.dublinCore->dcCreator = "Kim Example";
    item.categories = std::vector<fk::RSSFeedItemCategory>{{"A", {}}, {std::nullopt, {}}};
    auto article = onlyArticle(RSSParser::map(rssFeed({item})));
    EXPECT_EQ(article->creator(), "Kim Example");
    EXPECT_EQ(article->tags(), (std::set<std::string>{"A"}));

    item.categories = std::vector<fk::RSSFeedItemCategory>{{std::nullopt, {}}};
    EXPECT_EQ(onlyArticle(RSSParser::map(rssFeed({item})))->tags(), std::set<std::string>{});
    item.categories = std::vector<fk::RSSFeedItemCategory>{};
    EXPECT_FALSE(onlyArticle(RSSParser::map(rssFeed({item})))->tags().has_value());
}

TEST(RSSParser, RssDateFallsBackThroughItemAndFeedDates) {
    struct Case {
        std::optional<TimePoint> itemDc, itemPub, feedDc, feedLastBuild, feedPub;
        std::optional<TimePoint> expected;  // nothing: the moment of mapping
    };
    const Case cases[] = {
        {mayDay(1), mayDay(2), mayDay(3), mayDay(4), mayDay(5), mayDay(1)},
        {{}, mayDay(2), mayDay(3), mayDay(4), mayDay(5), mayDay(2)},
        {{}, {}, mayDay(3), mayDay(4), mayDay(5), mayDay(3)},
        {{}, {}, {}, mayDay(4), mayDay(5), mayDay(4)},
        {{}, {}, {}, {}, mayDay(5), mayDay(5)},
        {{}, {}, {}, {}, {}, std::nullopt},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        fk::RSSFeedItem item = rssItem("t", "http://a.example/");
        if (c.itemDc) item.dublinCore.emplace().dcDate = c.itemDc;
        item.pubDate = c.itemPub;
        fk::RSSFeed feed = rssFeed({item});
        if (c.feedDc) feed.dublinCore.emplace().dcDate = c.feedDc;
        feed.lastBuildDate = c.feedLastBuild;
        feed.pubDate = c.feedPub;
        auto before = system_clock::now();
        auto article = onlyArticle(RSSParser::map(feed));
        auto after = system_clock::now();
        ASSERT_TRUE(article.has_value());
        if (c.expected) {
            EXPECT_EQ(article->date(), *c.expected) << "case " << i;
        } else {
            EXPECT_GE(article->date(), before);
            EXPECT_LE(article->date(), after);
        }
    }
}

// --- Atom -------------------------------------------------------------------

TEST(RSSParser, AtomEntryLinkChoice) {
    using L = fk::AtomFeedEntryLink;
    struct Case {
        const char* name;
        std::vector<L> links;
        std::optional<std::string> expected;  // nothing: the entry is dropped
    };
    const Case cases[] = {
        {"image enclosure then html alternate",
         {atomLink("http://x.example/img.jpg", "enclosure", "image/jpeg"),
          atomLink("http://x.example/page", "alternate", "text/html")},
         "http://x.example/page"},
        {"only text link has another relation",
         {atomLink("http://x.example/feed", "self", "application/atom+xml"),
          atomLink("http://x.example/related", "related", "text/html")},
         "http://x.example/related"},
        {"single untyped link", {atomLink("http://x.example/only")}, "http://x.example/only"},
        {"second of two text links is the alternate",
         {atomLink("http://x.example/a", "related", "text/html"),
          atomLink("http://x.example/b", "alternate", "text/html")},
         "http://x.example/b"},
        {"no text links: the untyped alternate",
         {atomLink("http://x.example/first", "self", "application/atom+xml"),
          atomLink("http://x.example/second")},
         "http://x.example/second"},  // without a relation a link is an alternate one
        {"type test is case-sensitive",
         {atomLink("http://x.example/first", "alternate", "application/pdf"),
          atomLink("http://x.example/upper", "alternate", "TEXT/HTML")},
         "http://x.example/first"},
        {"rel contains alternate",
         {atomLink("http://x.example/t", "x", "text/plain"),
          atomLink("http://x.example/alt", "alternate-ish", "text/html")},
         "http://x.example/alt"},
        {"link without attributes", {L{}}, std::nullopt},
        {"chosen link without href", {atomLink(std::nullopt, "alternate", "text/html")}, std::nullopt},
        {"no links", {}, std::nullopt},
        {"normalised", {atomLink(" //x.example/n\n")}, "http://x.example/n"},
    };
    for (const auto& c : cases) {
        auto article = onlyArticle(RSSParser::map(atomFeed({atomEntry(c.links)})));
        ASSERT_EQ(article.has_value(), c.expected.has_value()) << c.name;
        if (article) {
            EXPECT_EQ(article->link(), *c.expected) << c.name;
        }
    }
    fk::AtomFeedEntry noLinkList = atomEntry({});
    noLinkList.links.reset();
    EXPECT_TRUE(RSSParser::map(atomFeed({noLinkList}))->articles.empty());
}

TEST(RSSParser, AtomFeedAndEntryFields) {
    fk::AtomFeed feed = atomFeed({});
    feed.links = std::vector<fk::AtomFeedLink>{atomLink(" //self.example/feed ", "self"),
                                               atomLink("http://alt.example/")};
    feed.categories = std::vector<fk::AtomFeedCategory>{{fk::AtomFeedCategory::Attributes{"x", {}, {}}},
                                                        {std::nullopt},
                                                        {fk::AtomFeedCategory::Attributes{{}, "s", {}}}};
    feed.updated = mayDay(9);
    auto mapped = RSSParser::map(feed);
    EXPECT_EQ(mapped->link, "http://alt.example/");  // the site, not the feed's own address
    EXPECT_EQ(mapped->categories, std::set<std::string>{"x"});

    feed.links = std::vector<fk::AtomFeedLink>{fk::AtomFeedLink{}, atomLink("http://alt.example/")};
    EXPECT_FALSE(RSSParser::map(feed)->link.has_value());
    feed.links = std::vector<fk::AtomFeedLink>{atomLink(std::nullopt, "alternate")};
    EXPECT_FALSE(RSSParser::map(feed)->link.has_value());

    fk::AtomFeedEntry entry = atomEntry({atomLink("http://x.example/")});
    entry.content = fk::AtomText{std::string(" \n<p>body</p> "), "html"};
    entry.summary = fk::AtomText{std::string("summary"), std::nullopt};
    entry.published = mayDay(1);
    entry.authors = std::vector<fk::AtomFeedEntryAuthor>{{"First", {}, {}}, {"Second", {}, {}}};
    entry.categories = std::vector<fk::AtomFeedEntryCategory>{{std::nullopt}};
    feed.entries = std::vector<fk::AtomFeedEntry>{entry};
    auto article = onlyArticle(RSSParser::map(feed));
    EXPECT_EQ(article->content(), "<p>body</p>");
    EXPECT_EQ(article->date(), mayDay(1));  // published, when there is no updated date
    EXPECT_EQ(article->creator(), "First");
    EXPECT_EQ(article->tags(), std::set<std::string>{});

    entry.content = fk::AtomText{std::nullopt, "text"};
    entry.updated = mayDay(2);
    entry.authors = std::vector<fk::AtomFeedEntryAuthor>{{std::nullopt, {}, {}}, {"Second", {}, {}}};
    entry.categories.reset();
    feed.entries = std::vector<fk::AtomFeedEntry>{entry};
    article = onlyArticle(RSSParser::map(feed));
    EXPECT_EQ(article->content(), "summary");
    EXPECT_EQ(article->date(), mayDay(2));
    EXPECT_FALSE(article->creator().has_value());  // only the first author counts
    EXPECT_FALSE(article->tags().has_value());

    entry.summary.reset();
    entry.updated.reset();
    entry.published.reset();
    feed.updated.reset();
    feed.entries = std::vector<fk::AtomFeedEntry>{entry};
    auto before = system_clock::now();
    article = onlyArticle(RSSParser::map(feed));
    EXPECT_EQ(article->content(), "");
    EXPECT_GE(article->date(), before);
}

// --- JSON Feed --------------------------------------------------------------

TEST(RSSParser, JsonFeedFields) {
    fk::JSONFeed feed = jsonFeed({});
    feed.homePageURL = " https://home.example/ ";
    feed.feedUrl = "https://home.example/feed.json";
    EXPECT_EQ(RSSParser::map(feed)->link, "https://home.example/");
    feed.homePageURL.reset();
    EXPECT_EQ(RSSParser::map(feed)->link, "https://home.example/feed.json");
    feed.feedUrl.reset();
    EXPECT_FALSE(RSSParser::map(feed)->link.has_value());
    EXPECT_FALSE(RSSParser::map(feed)->categories.has_value());

    struct Case {
        const char* name;
        std::function<void(fk::JSONFeedItem&)> change;
        std::optional<std::string> link;
        std::string content;
        std::optional<std::string> creator;
    };
    const Case cases[] = {
        {"url", [](auto&) {}, "https://json.example/item", "", "Feed Author"},
        {"external url",
         [](auto& i) {
             i.url.reset();
             i.externalUrl = "//ext.example/";
         },
         "http://ext.example/", "", "Feed Author"},
        {"no url", [](auto& i) { i.url.reset(); }, std::nullopt, "", {}},
        {"html first",
         [](auto& i) {
             i.contentHtml = "<b>h</b>";
             i.contentText = "t";
             i.summary = "s";
         },
         "https://json.example/item", "<b>h</b>", "Feed Author"},
        {"text without html",
         [](auto& i) {
             i.contentText = " t ";
             i.summary = "s";
         },
         "https://json.example/item", "t", "Feed Author"},
        {"summary last", [](auto& i) { i.summary = "s"; }, "https://json.example/item", "s", "Feed Author"},
        {"item author",
         [](auto& i) {
             i.author = fk::JSONFeedAuthor{"Item Author", {}, {}};
         },
         "https://json.example/item", "", "Item Author"},
        {"item author without name",
         [](auto& i) {
             i.author = fk::JSONFeedAuthor{{}, "https://a.example/", {}};
         },
         "https://json.example/item", "", "Feed Author"},
    };
    feed.author = fk::JSONFeedAuthor{"Feed Author", {}, {}};
    for (const auto& c : cases) {
        fk::JSONFeedItem item = jsonItem();
        c.change(item);
        feed.items = std::vector<fk::JSONFeedItem>{item};
        auto article = onlyArticle(RSSParser::map(feed));
        ASSERT_EQ(article.has_value(), c.link.has_value()) << c.name;
        if (!article) continue;
        EXPECT_EQ(article->link(), *c.link) << c.name;
        EXPECT_EQ(article->content(), c.content) << c.name;
        EXPECT_EQ(article->creator(), c.creator) << c.name;
        EXPECT_EQ(article->tags(), std::set<std::string>{}) << c.name;  // never absent
    }

    feed.author.reset();
    fk::JSONFeedItem item = jsonItem();
    item.tags = std::vector<std::string>{"b", "a", "b"};
    item.dateModified = mayDay(3);
    feed.items = std::vector<fk::JSONFeedItem>{item};
    auto article = onlyArticle(RSSParser::map(feed));
    EXPECT_EQ(article->tags(), (std::set<std::string>{"a", "b"}));
    EXPECT_EQ(article->date(), mayDay(3));
    EXPECT_FALSE(article->creator().has_value());
    item.datePublished = mayDay(2);
    feed.items = std::vector<fk::JSONFeedItem>{item};
    EXPECT_EQ(onlyArticle(RSSParser::map(feed))->date(), mayDay(2));
}

// --- Documents end to end ---------------------------------------------------

TEST(RSSParser, ParsesDocumentsOnItsQueueIntoTheUniformModel) {
    auto& queue = RSSParser::parseQueue();
    EXPECT_EQ(&queue, &RSSParser::parseQueue());
    EXPECT_EQ(queue.label(), "rss_parser_parse_queue");
    EXPECT_EQ(queue.qos(), dispatch::QualityOfService::utility);

    std::promise<std::pair<std::optional<RSSFeed>, std::string>> done;
    fk::FeedParser(test::readFixture("feeds/podcast-itunes.xml")).parseAsync(queue, [&](fk::Result result) {
        RSSParser::parse(result, [&](std::optional<RSSFeed> feed, std::optional<fk::FeedError>) {
            done.set_value({std::move(feed), std::string(dispatch::currentQueueLabel())});
        });
    });
    auto [feed, label] = done.get_future().get();
    EXPECT_EQ(label, "rss_parser_parse_queue");
    ASSERT_TRUE(feed.has_value());
    EXPECT_EQ(feed->name, "Harbour Talk");
    EXPECT_EQ(feed->link, "https://harbour.example/podcast");
    EXPECT_EQ(feed->categories, (std::set<std::string>{"Talk", "Harbour"}));
    ASSERT_EQ(feed->articles.size(), 2u);
    const RemoteArticle& first = feed->articles[0];
    EXPECT_EQ(first.title(), "Episode 2: Tides");
    EXPECT_EQ(first.content(), "<p>Full show notes about <b>tides</b> &amp; currents.</p>");
    EXPECT_EQ(first.creator(), "Ann Example");
    EXPECT_EQ(first.date(), sys_days{year{2025} / 1 / 6} + hours{6} + minutes{30});
    EXPECT_EQ(first.tags(), (std::set<std::string>{"Science", "Sea"}));
    const RemoteArticle& second = feed->articles[1];
    EXPECT_EQ(second.link(), "https://harbour.example/podcast/1");  // from the guid
    EXPECT_EQ(second.creator(), "Harbour Crew");                    // the iTunes author stands in
    EXPECT_FALSE(second.tags().has_value());
}

TEST(RSSParser, MapsRealWorldShapes) {
    auto atom = parseDocument(test::readFixture("feeds/atom-links-xhtml.xml"));
    ASSERT_TRUE(atom.has_value());
    EXPECT_EQ(atom->link, "https://workshop.example/");  // the alternate link, not "self"
    ASSERT_EQ(atom->articles.size(), 2u);
    EXPECT_EQ(atom->articles[0].link(), "https://workshop.example/joinery");
    EXPECT_EQ(atom->articles[0].creator(), "Carl Example");
    EXPECT_EQ(atom->articles[0].content().rfind("<p>Dovetails &amp; <em>mortises</em>.</p>", 0), 0u);
    EXPECT_EQ(atom->articles[0].tags(), (std::set<std::string>{"joinery", "glue"}));
    EXPECT_EQ(atom->articles[1].content(), "<p>Stones and <b>strops</b></p>");
    EXPECT_EQ(atom->articles[1].date(), sys_days{year{2025} / 2 / 1} + hours{10});  // the feed's date

    auto json = parseDocument(test::readFixture("feeds/jsonfeed-11-authors.json"));
    ASSERT_TRUE(json.has_value());
    EXPECT_EQ(json->link, "https://garden.example/");
    ASSERT_EQ(json->articles.size(), 3u);  // the untitled item is named after its text
    EXPECT_EQ(json->articles[2].title(), "An item without a title is dropped.");
    EXPECT_EQ(json->articles[0].creator(), "Gus Example");
    EXPECT_EQ(json->articles[0].tags(), (std::set<std::string>{"summer", "vegetables"}));
    EXPECT_EQ(json->articles[1].creator(), "Fay Example");
    EXPECT_EQ(json->articles[1].link(), "https://elsewhere.example/roses");
    EXPECT_EQ(json->articles[1].content(), "Plain text only.");

    auto rdf = parseDocument(test::readFixture("feeds/rss-10.rdf"));
    ASSERT_TRUE(rdf.has_value());
    ASSERT_EQ(rdf->articles.size(), 2u);
    EXPECT_EQ(rdf->articles[1].date(), sys_days{year{2003} / 12 / 13} + hours{18} + minutes{30} + seconds{2});

    auto cp1252 = parseDocument(test::readFixture("feeds/windows-1252.xml"));
    ASSERT_TRUE(cp1252.has_value());
    EXPECT_EQ(cp1252->articles[0].title(), "Price \u20ac 5 \u2013 na\u00efve");

    auto sloppy = parseDocument(test::readFixture("feeds/stray-amp-nbsp.xml"));
    ASSERT_TRUE(sloppy.has_value());
    EXPECT_EQ(sloppy->articles[0].link(), "https://news.example/fish?x=1&y=2");

    std::optional<fk::FeedError> error;
    bool called = false;
    RSSParser::parse(fk::FeedParser(test::readFixture("feeds/html-page.html")).parse(),
                     [&](std::optional<RSSFeed> feed, std::optional<fk::FeedError> e) {
                         called = true;
                         EXPECT_FALSE(feed.has_value());
                         error = e;
                     });
    EXPECT_TRUE(called);
    EXPECT_TRUE(error.has_value());
}

TEST(RSSParser, DocumentWithTitleButNoItemsGivesAnEmptyFeed) {
    auto feed = parseDocument("<rss version=\"2.0\"><channel><title>Quiet</title></channel></rss>");
    ASSERT_TRUE(feed.has_value());
    EXPECT_TRUE(feed->articles.empty());
    EXPECT_FALSE(feed->link.has_value());
    // Without a title the feed is named after its site's host.
    auto untitled = parseDocument("<rss version=\"2.0\"><channel><link>http://www.x.example/</link></channel></rss>");
    ASSERT_TRUE(untitled.has_value());
    EXPECT_EQ(untitled->name, "x.example");
}

TEST(RSSParser, UnreadableDatesFallBackToTheNextSource) {
    auto feed = parseDocument(
        "<rss xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel><title>t</title>"
        "<lastBuildDate>Sat, 04 May 2024 00:00:00 GMT</lastBuildDate>"
        "<item><title>a</title><link>http://x.example/a</link><dc:date>soon</dc:date>"
        "<pubDate>Fri, 31 Feb 2024 10:00:00 GMT</pubDate></item>"
        "<item><title>b</title><link>http://x.example/b</link><pubDate>Thu, 02 May 2024 00:00 GMT</pubDate></item>"
        "</channel></rss>");
    ASSERT_TRUE(feed.has_value());
    ASSERT_EQ(feed->articles.size(), 2u);
    EXPECT_EQ(feed->articles[0].date(), mayDay(4));
    EXPECT_EQ(feed->articles[1].date(), mayDay(2));
}
