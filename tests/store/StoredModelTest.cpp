#include <chrono>
#include <regex>
#include <string>

#include "StoreTestSupport.h"
#include "foundation/AppUtils.h"
#include "platform/graph/Database.h"
#include "platform/graph/Store.h"
#include "store/Article.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "store/Node.h"
#include "store/StoredModel.h"
#include "store/Tag.h"

using namespace tallowmere;
using tallowmere::graph::Bytes;
using tallowmere::graph::Date;

namespace {

double nowSinceReferenceDate() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() -
           978307200.0;
}

// Splits "<prefix> <time stamp>" and checks that the stamp is a plain
// decimal with a fractional part taken between `before` and `after`.
std::string prefixBeforeTimeStamp(const std::string& sortName, double before, double after) {
    auto space = sortName.rfind(' ');
    if (space == std::string::npos) return "<no time stamp>";
    std::string stamp = sortName.substr(space + 1);
    EXPECT_TRUE(std::regex_match(stamp, std::regex("[0-9]+\\.[0-9]+"))) << stamp;
    double value = std::stod(stamp);
    EXPECT_GE(value, before - 0.001);
    EXPECT_LE(value, after + 0.001);
    return sortName.substr(0, space);
}

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace

using StoredModelTest = test::StoreTest;

TEST(NodePriorityTest, RawValuesAndTextForms) {
    EXPECT_EQ(nodePriorityFromRaw(-1), NodePriority::low);
    EXPECT_EQ(nodePriorityFromRaw(0), NodePriority::medium);
    EXPECT_EQ(nodePriorityFromRaw(1), NodePriority::high);
    EXPECT_FALSE(nodePriorityFromRaw(2));
    EXPECT_FALSE(nodePriorityFromRaw(-2));
    EXPECT_EQ(toString(NodePriority::low), "low");
    EXPECT_EQ(toString(NodePriority::medium), "medium");
    EXPECT_EQ(toString(NodePriority::high), "high");
}

TEST(SortTimeStampTest, ShortestRoundTripTextWithAFractionalPart) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {786000000.0, "786000000.0"},
        {786000000.25, "786000000.25"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1000000000.0, "1000000000.0"},  // where the shortest form could turn to "1e+09"
        {786123456.789012, "786123456.789012"},
    };
    for (const auto& c : cases) EXPECT_EQ(Node::sortTimeStamp(c.value), c.text) << c.value;
    double now = nowSinceReferenceDate();
    EXPECT_EQ(std::stod(Node::sortTimeStamp(now)), now);
}

TEST_F(StoredModelTest, SortNameTakesSortValueOrThePriorityDigit) {
    struct Case {
        std::int64_t sortValue;
        std::int16_t priority;
        const char* prefix;
    } cases[] = {
        {3, 1, "3 tech news"},                             // a manual position replaces the priority digit
        {12, -1, "12 tech news"}, {0, 1, "0 tech news"},   // high
        {0, 0, "1 tech news"},                             // medium
        {0, -1, "2 tech news"},                            // low
        {0, 7, "0 tech news"},                             // out of range: by its sign
        {0, -9, "2 tech news"},   {-4, 1, "0 tech news"},  // a position of 0 or below does not count
    };
    main().performAndWait([&] {
        for (const auto& c : cases) {
            auto feed = Feed::insert(main());
            feed.setName("Tech News");
            feed.setSortValue(c.sortValue);
            feed.setPriority(c.priority);
            double before = nowSinceReferenceDate();
            feed.updateSortName();
            double after = nowSinceReferenceDate();
            EXPECT_EQ(prefixBeforeTimeStamp(feed.sortName().value_or(""), before, after), c.prefix)
                << c.sortValue << " " << c.priority;
        }
    });
}

TEST_F(StoredModelTest, SortNameIsLowerCasedBeyondAscii) {
    main().performAndWait([&] {
        auto folder = Folder::insert(main());
        folder.setName("ÉCOLE Straße ΣΟΦΙΑ");
        folder.setPriority(NodePriority::low);
        folder.updateSortName();
        EXPECT_EQ(prefixBeforeTimeStamp(*folder.sortName(), 0, nowSinceReferenceDate()),
                  "2 école straße σοφια");
    });
}

TEST_F(StoredModelTest, FeedInAFolderSharesTheFolderSectionAndSortsUnderIt) {
    main().performAndWait([&] {
        auto folder = Folder::insert(main());
        folder.setName("World");
        folder.setSortName("s");
        auto feed = Feed::insert(main());
        feed.setName("Tech News");
        feed.setPriority(NodePriority::medium);
        feed.setFolder(folder);
        double before = nowSinceReferenceDate();
        feed.updateSortName();
        EXPECT_EQ(prefixBeforeTimeStamp(*feed.sortName(), before, nowSinceReferenceDate()), "s 1 tech news");
        EXPECT_EQ(feed.groupName(), "s");
        EXPECT_EQ(folder.groupName(), "s");
        EXPECT_EQ(Node::groupNameOf(*feed.object()), "s");

        // A folder not sorted yet: its feeds share the empty section.
        auto unsorted = Folder::insert(main());
        feed.setFolder(unsorted);
        EXPECT_EQ(feed.groupName(), "");
        // At the top level a feed forms its own section.
        feed.setFolder(std::nullopt);
        EXPECT_EQ(feed.groupName(), *feed.sortName());
        auto fresh = Feed::insert(main());
        EXPECT_EQ(fresh.groupName(), "");
    });
}

TEST_F(StoredModelTest, GroupNameIsSafeFromAnotherThread) {
    std::optional<Feed> feed;
    background().performAndWait([&] {
        auto folder = Folder::insert(background());
        folder.setSortName("news");
        feed = Feed::insert(background());
        feed->setFolder(folder);
    });
    // Called on the test thread; the handle goes into its context itself.
    EXPECT_EQ(feed->groupName(), "news");
    background().performAndWait([&] { feed.reset(); });
}

TEST_F(StoredModelTest, ReadAndStarredComeFromTheRelations) {
    struct Case {
        bool unreadInFeed;
        bool starredInFeed;
        bool read;
        bool starred;
    } cases[] = {
        {true, false, false, false},
        {false, false, true, false},
        {true, true, false, true},
        {false, true, true, true},
    };
    main().performAndWait([&] {
        auto feed = Feed::insert(main());
        for (const auto& c : cases) {
            auto article = Article::insert(main());
            article.setFeed(feed);
            if (c.unreadInFeed) article.setUnreadInFeed(feed);
            if (c.starredInFeed) article.setStarredInFeed(feed);
            EXPECT_EQ(article.isRead(), c.read);
            EXPECT_EQ(article.isStarred(), c.starred);
        }
        EXPECT_EQ(feed.unreadCount(), 2u);
        EXPECT_EQ(feed.starredCount(), 2u);
        EXPECT_EQ(feed.articleCount(), 4u);
    });
}

TEST_F(StoredModelTest, SiteURLIsTheRootOfTheLinksSite) {
    struct Case {
        std::optional<std::string> link;
        std::optional<std::string> site;
    } cases[] = {
        {"https://news.example.com/2024/05/17/world/deep/story.html?ref=rss#top",
         "https://news.example.com/"},
        {"http://Example.org:8080/a/b/", "http://Example.org:8080/"},
        {"https://user@example.net/x", "https://user@example.net/"},
        {"https://example.com", "https://example.com/"},
        {"not a url", std::nullopt},
        {"/relative/page.html", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    main().performAndWait([&] {
        for (const auto& c : cases) {
            auto article = Article::insert(main());
            article.setLink(c.link);
            auto site = article.siteURL();
            ASSERT_EQ(site.has_value(), c.site.has_value()) << c.link.value_or("<none>");
            if (site) {
                EXPECT_EQ(site->absoluteString(), *c.site);
            }
        }
    });
}

TEST_F(StoredModelTest, HtmlIsStoredCompressedThroughTheBackgroundContextAndCleared) {
    std::optional<Article> article;
    main().performAndWait([&] {
        article = Article::insert(main());
        article->setTitle("Story");
        EXPECT_FALSE(article->html());
    });
    saveAndWait();

    std::string page = "<html><body>";
    for (int i = 0; i < 200; ++i) page += "<p>Paragraph " + std::to_string(i) + " of the story.</p>";
    page += "</body></html>";
    article->setHtml(bytes(page));
    ASSERT_TRUE(runMainUntil(
        [&] { return article->object()->binary(Article::Key::htmlCompressedData).has_value(); }));
    auto stored = *article->object()->binary(Article::Key::htmlCompressedData);
    EXPECT_LT(stored.size(), page.size());
    EXPECT_EQ(AppUtils::compress(stored, true), bytes(page));
    EXPECT_EQ(article->html(), bytes(page));
    EXPECT_FALSE(main().hasChanges());  // the background context saved it

    for (std::optional<Bytes> clear : {std::optional<Bytes>(Bytes{}), std::optional<Bytes>()}) {
        article->setHtml(bytes("<p>again</p>"));
        ASSERT_TRUE(runMainUntil([&] { return article->html() == bytes("<p>again</p>"); }));
        article->setHtml(clear);
        ASSERT_TRUE(
            runMainUntil([&] { return !article->object()->binary(Article::Key::htmlCompressedData); }));
        EXPECT_FALSE(article->html());
    }

    // Data that is no LZFSE stream reads as nothing.
    main().performAndWait(
        [&] { article->object()->setBinary(Article::Key::htmlCompressedData, bytes("garbage")); });
    EXPECT_FALSE(article->html());
}

TEST_F(StoredModelTest, ObjectsWithoutAContextYieldNothing) {
    auto scratch = controller->persistentContainer().newPrivateContext();
    std::optional<Article> article;
    std::optional<Feed> feed;
    scratch->performAndWait([&] {
        feed = Feed::insert(*scratch);
        feed->setName("Gone");
        article = Article::insert(*scratch);
        article->setLink("https://example.com/a/b");
        article->setUnreadInFeed(feed);
    });
    scratch.reset();
    ASSERT_EQ(article->context(), nullptr);
    EXPECT_FALSE(article->siteURL());
    EXPECT_FALSE(article->html());
    EXPECT_FALSE(article->isRead());
    EXPECT_FALSE(article->isStarred());
    article->setHtml(bytes("<p>x</p>"));  // no context: nothing to do
    feed->updateSortName();
    EXPECT_EQ(feed->groupName(), "");
}

TEST_F(StoredModelTest, RelationsAreInversesAndDeletesCascade) {
    main().performAndWait([&] {
        auto folder = Folder::insert(main());
        folder.setName("Folder");
        auto inFolder = Feed::insert(main());
        inFolder.setFolder(folder);
        auto topLevel = Feed::insert(main());
        auto tag = Tag::insert(main());
        tag.setName("science");
        for (auto& feed : {inFolder, topLevel}) {
            for (int i = 0; i < 3; ++i) {
                auto article = Article::insert(main());
                article.setFeed(feed);
                article.addTag(tag);
            }
        }
        EXPECT_EQ(folder.feeds().size(), 1u);
        EXPECT_EQ(folder.feeds().front(), inFolder);
        EXPECT_EQ(inFolder.articles().size(), 3u);
        EXPECT_EQ(inFolder.articles().front().feed(), inFolder);
        EXPECT_EQ(tag.articleCount(), 6u);
        EXPECT_EQ(inFolder.articles().front().tags().front(), tag);
    });
    saveAndWait();

    auto count = [&](const char* entity) {
        std::size_t n = 0;
        main().performAndWait([&] { n = main().count(graph::FetchRequest(entity)).value(); });
        return n;
    };
    main().performAndWait([&] {
        auto nodes = main().fetch(Node::fetchRequest()).value();
        ASSERT_EQ(nodes.size(), 3u);  // one fetch returns feeds and folders
        for (const auto& node : makeHandles<Node>(nodes)) {
            EXPECT_NE(node.isFeed(), node.isFolder());
            EXPECT_EQ(node.asFeed().has_value(), node.isFeed());
            EXPECT_FALSE(Article::from(node.object()));
        }
        auto folders = main().fetch(Folder::fetchRequest()).value();
        ASSERT_EQ(folders.size(), 1u);
        main().deleteObject(folders.front());
    });
    saveAndWait();
    EXPECT_EQ(count(Folder::entityName), 0u);
    EXPECT_EQ(count(Feed::entityName), 1u);     // the folder took its feed
    EXPECT_EQ(count(Article::entityName), 3u);  // and the feed its articles

    main().performAndWait([&] {
        auto feeds = main().fetch(Feed::fetchRequest()).value();
        main().deleteObject(feeds.front());
    });
    saveAndWait();
    EXPECT_EQ(count(Article::entityName), 0u);
    main().performAndWait([&] {
        auto tag = Tag(main().fetch(Tag::fetchRequest()).value().front());
        EXPECT_EQ(tag.articleCount(), 0u);  // tags stay, without the articles
    });
}

TEST_F(StoredModelTest, OversizedOutsideValuesAreRefusedBeforeTheSave) {
    main().performAndWait([&] {
        auto feed = Feed::insert(main());
        EXPECT_TRUE(feed.setName("Kept"));
        EXPECT_FALSE(feed.setName(std::string(StoredModel::maximumValueSize + 1, 'x')));
        EXPECT_FALSE(feed.setIcon(Bytes(StoredModel::maximumValueSize + 1)));
        EXPECT_EQ(feed.name(), "Kept");
        EXPECT_FALSE(feed.icon());
        EXPECT_TRUE(feed.setUrl(std::string(1000, 'u')));
    });
    saveAndWait();
}

TEST_F(StoredModelTest, LookupsOfTheLaterCallersUseAnIndex) {
    const auto& model = controller->persistentContainer().model();
    auto column = [&](const char* entity, const char* key) {
        return model.entityNamed(entity)->property(key)->column;
    };
    struct Lookup {
        const char* entity;
        std::vector<const char*> keys;
    } lookups[] = {
        {Article::entityName, {Article::Key::feed, Article::Key::link}},
        {Article::entityName, {Article::Key::tallowmereHash}},
        {Article::entityName, {Article::Key::feed, Article::Key::date}},
        {Article::entityName, {Article::Key::createdAt}},
        {Article::entityName, {Article::Key::unreadInFeed}},
        {Article::entityName, {Article::Key::starredInFeed}},
        {Feed::entityName, {Feed::Key::tallowmereHash}},
        {Feed::entityName, {Feed::Key::url}},
        {Node::entityName, {Node::Key::sortName}},
    };
    auto& store = controller->persistentContainer().store();
    std::lock_guard lock(store.mutex());
    for (const auto& lookup : lookups) {
        std::string sql =
            "EXPLAIN QUERY PLAN SELECT id FROM \"" + model.entityNamed(lookup.entity)->table() + "\" WHERE ";
        for (std::size_t i = 0; i < lookup.keys.size(); ++i)
            sql += (i ? " AND \"" : "\"") + column(lookup.entity, lookup.keys[i]) + "\" = 1";
        auto* plan = store.db().prepare(sql);
        ASSERT_TRUE(plan) << sql;
        std::string detail;
        while (plan->step()) detail += plan->text(3);
        plan->reset();
        EXPECT_NE(detail.find("INDEX"), std::string::npos) << sql << ": " << detail;
    }
}

TEST(NodePasteboardTest, TypeIsTheProgramIdentifierWithNode) {
    EXPECT_EQ(Node::pasteboardType(), std::string(AppUtils::productIdentifier()) + ".node");
}
