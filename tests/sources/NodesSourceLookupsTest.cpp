#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "NodesSourceTestSupport.h"
#include "foundation/URLIdentityHash.h"
#include "sources/SearchIndexing.h"
#include "store/Article.h"

namespace tallowmere {
namespace {

URL url(const std::string& text) {
    auto parsed = URL::parse(text);
    EXPECT_TRUE(parsed) << text;
    return *parsed;
}

// Records what the deleters ask of the search index.
class RecordingIndex : public SearchIndexing {
public:
    void removeDocument(const std::string& objectIDURI) override {
        std::lock_guard lock(mutex);
        removed.insert(objectIDURI);
    }
    void compactIndex() override {
        std::lock_guard lock(mutex);
        ++compactions;
    }
    std::mutex mutex;
    std::set<std::string> removed;
    int compactions = 0;
};

class NodesSourceLookups : public test::NodesSourceTest {
protected:
    void SetUp() override {
        test::NodesSourceTest::SetUp();
        source = NodesSource::make(controller, index);
    }
    // Articles of the feed (unread ones first), saved; their object ID URIs.
    std::set<std::string> addArticles(const Feed& feed, int unread, int read) {
        std::set<std::string> uris;
        background().performAndWait([&] {
            std::vector<graph::ObjectPtr> made;
            for (int i = 0; i < unread + read; ++i) {
                Article article = Article::insert(background());
                article.setFeed(feed);
                if (i < unread) article.setUnreadInFeed(feed);
                made.push_back(article.object());
            }
            ASSERT_TRUE(background().save().ok());
            for (const auto& object : made) uris.insert(object->objectID().uriRepresentation());
        });
        settle();
        return uris;
    }
    std::string urlOf(const Feed& feed) {
        std::string text;
        feed.context()->performAndWait([&] { text = feed.url().value_or(""); });
        return text;
    }
    std::vector<std::string> storedFeedURLs() {
        std::vector<std::string> urls;
        for (const Feed& feed : source->allFeeds()) urls.push_back(urlOf(feed));
        std::sort(urls.begin(), urls.end());
        return urls;
    }
    std::size_t storedCount(const char* entity) {
        return main().count(graph::FetchRequest(entity)).value();
    }

    std::shared_ptr<RecordingIndex> index = std::make_shared<RecordingIndex>();
};

TEST_F(NodesSourceLookups, FeedsAreFoundIgnoringCaseAndDiacriticsAndByHash) {
    // Stored as typed: text with a diacritic (it parses as no URL, so its hash is 0).
    addFeed("Café", "https://example.com/Café/feed");
    addFeed("Other", "https://other.example/rss?page=1");

    struct Case {
        const char* asked;
        const char* found;  // nothing: not found
    };
    const std::vector<Case> cases = {
        {"HTTPS://EXAMPLE.COM/CAFE/FEED", "https://example.com/Café/feed"},
        {"https://example.com/cafe/feed", "https://example.com/Café/feed"},
        // Another text with the same identity hash (the fragment is not hashed).
        {"https://other.example/rss?page=1#latest", "https://other.example/rss?page=1"},
        {"https://other.example/rss?page=2", nullptr},
        {"https://example.com/cafe", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        ASSERT_EQ(URLIdentityHash::hash(url(c.asked)) == URLIdentityHash::hash(url("https://other.example/rss?page=1")),
                  std::string(c.asked).find("#latest") != std::string::npos);
        auto found = source->feed(url(c.asked));
        EXPECT_EQ(source->containsFeed(url(c.asked)), c.found != nullptr);
        ASSERT_EQ(found.has_value(), c.found != nullptr);
        if (found) {
            EXPECT_EQ(found->context(), &background());
            EXPECT_EQ(urlOf(*found), c.found);
        }
    }

    auto byPrefix = source->feed(std::string_view("HTTPS://OTHER.example/"));
    ASSERT_TRUE(byPrefix);
    EXPECT_EQ(urlOf(*byPrefix), "https://other.example/rss?page=1");
    EXPECT_FALSE(source->feed(std::string_view("https://nowhere.example")));
}

TEST_F(NodesSourceLookups, FeedsWithoutAFoldedURLAreFoundAfterTheStoreIsOpenedAgain) {
    addFeed("Café", "https://example.com/Café/feed");
    source.reset();
    controller.reset();
    settle();
    // As a store written before the folded URL was kept, or rows written by
    // plain SQLite, hold it.
    const std::filesystem::path file = dir.path() / "Tallowmere.sqlite";
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &connection), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(connection, "UPDATE node SET foldedURL = NULL", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(connection);

    auto opened = DataController::open(file);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    controller = opened.value();
    source = NodesSource::make(controller, index);
    // The text with a diacritic forms no URL, so its identity hash is 0:
    // only the folded URL finds it.
    EXPECT_TRUE(source->containsFeed(url("HTTPS://EXAMPLE.COM/CAFE/FEED")));
    EXPECT_TRUE(source->feed(url("https://example.com/cafe/feed")));
    EXPECT_FALSE(source->containsFeed(url("https://example.com/cafe")));
}

TEST_F(NodesSourceLookups, AddFeedStoresPlainNameHashAndSettings) {
    auto folder = addFolder("News");
    Feed feed = source->addFeed("Tom &amp; <b>Jerry</b>", "https://example.com/feed", graph::Bytes{1, 2, 3},
                                folder.objectID(), true, NewsletterType::daily);
    background().performAndWait([&] {
        EXPECT_EQ(feed.name(), "Tom & Jerry");
        EXPECT_EQ(feed.url(), "https://example.com/feed");
        EXPECT_EQ(feed.tallowmereHash(), URLIdentityHash::hash(url("https://example.com/feed")));
        EXPECT_EQ(feed.folder(), Folder(background().object(folder.objectID())));
        EXPECT_TRUE(feed.notifyUpdates());
        EXPECT_EQ(feed.newsletterType(), 2);
        EXPECT_FALSE(background().hasChanges());
    });
    EXPECT_EQ(source->iconData(feed), (graph::Bytes{1, 2, 3}));
    EXPECT_EQ(source->iconData(folder), std::nullopt);
    EXPECT_EQ(source->allFeeds().size(), 1u);

    // Text that is no URL still makes a feed, without hash.
    Feed odd = source->addFeed("Odd", "not a url", std::nullopt, std::nullopt, false, NewsletterType::none);
    background().performAndWait([&] { EXPECT_EQ(odd.tallowmereHash(), 0); });
    EXPECT_EQ(source->iconData(odd), std::nullopt);
    EXPECT_EQ(source->allFeeds().size(), 2u);
}

TEST_F(NodesSourceLookups, ABatchOfAdditionsRefreshesTheListAndPositionsOnceAtItsOuterEnd) {
    auto add = [&](const std::string& name) {
        Feed feed = source->addFeed(name, "https://" + name + ".example/", std::nullopt, std::nullopt, false,
                                    NewsletterType::none);
        settle();
        return feed.objectID();
    };
    auto position = [&](const graph::ObjectID& id) { return Node(main().object(id)).sortValue(); };

    source->beginAddingFeeds();
    source->beginAddingFeeds();
    const auto first = add("first");
    const auto second = add("second");
    EXPECT_TRUE(source->allFeeds().empty());
    source->endAddingFeeds();
    EXPECT_TRUE(source->allFeeds().empty()) << "an inner end leaves the work to the outer one";
    source->endAddingFeeds();
    EXPECT_EQ(source->allFeeds().size(), 2u);
    EXPECT_EQ(position(first), 1);
    EXPECT_EQ(position(second), 1);

    // An end without a batch changes nothing; later additions count at once.
    source->endAddingFeeds();
    const auto third = add("third");
    EXPECT_EQ(source->allFeeds().size(), 3u);
    EXPECT_EQ(position(third), 1);
}

TEST_F(NodesSourceLookups, FoldersByNameAndFeedsBySetting) {
    Folder first = addFolder("Tech");
    Folder second = addFolder("Tech");
    EXPECT_NE(first.objectID(), second.objectID());
    auto found = source->folder("TECH");
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->objectID() == first.objectID() || found->objectID() == second.objectID());
    EXPECT_FALSE(source->folder("Science"));
    EXPECT_EQ(source->allFolderNames(), (std::vector<std::string>{"Tech", "Tech"}));

    source->addFeed("a", "https://a.example/", std::nullopt, std::nullopt, true, NewsletterType::hourly);
    source->addFeed("b", "https://b.example/", std::nullopt, std::nullopt, false, NewsletterType::daily);
    source->addFeed("c", "https://c.example/", std::nullopt, std::nullopt, true, NewsletterType::none);
    settle();
    EXPECT_EQ(source->notifyingFeeds()->size(), 2u);
    EXPECT_EQ(source->feeds(NewsletterType::hourly)->size(), 1u);
    EXPECT_EQ(source->feeds(NewsletterType::none)->size(), 1u);
    EXPECT_EQ(source->newsletterFeedsCount(), 2u);

    // A feed gives itself, a folder its feeds.
    Feed inFolder = addFeed("d", "https://d.example/", first);
    EXPECT_EQ(source->feeds(inFolder.objectID())->size(), 1u);
    EXPECT_EQ(source->feeds(first.objectID())->size(), 1u);
    EXPECT_EQ(source->feeds(second.objectID())->size(), 0u);
    EXPECT_FALSE(source->feeds(graph::ObjectID()));
}

TEST_F(NodesSourceLookups, UnreadCountsOfAFeedAFolderAndEverything) {
    Folder folder = addFolder("F");
    Feed a = addFeed("a", "https://a.example/", folder);
    Feed b = addFeed("b", "https://b.example/", folder);
    Feed c = addFeed("c", "https://c.example/");
    addArticles(a, 2, 1);
    addArticles(b, 3, 0);
    addArticles(c, 4, 5);

    EXPECT_EQ(source->unreadArticlesCount(Node(a)), 2);
    EXPECT_EQ(source->unreadArticlesCount(inMain(c)), 4);
    EXPECT_EQ(source->unreadArticlesCount(Node(folder)), 5);
    EXPECT_EQ(source->unreadArticlesCount(inMain(folder)), 5);
    EXPECT_EQ(source->unreadArticlesCount(std::nullopt), 9);

    // Read together, as the sidebar reads the rows a save touched: the same
    // counts, also while an unsaved article here counts for its feed.
    auto countsOf = [&](const std::vector<graph::ObjectID>& ids) {
        std::vector<std::optional<std::int64_t>> counts;
        for (const auto& reading : source->readNodes(ids)) {
            EXPECT_TRUE(reading.node);
            counts.push_back(reading.unreadCount);
        }
        return counts;
    };
    const std::vector<graph::ObjectID> ids{c.objectID(), folder.objectID(), a.objectID(), b.objectID()};
    EXPECT_EQ(countsOf(ids), (std::vector<std::optional<std::int64_t>>{4, 5, 2, 3}));
    main().performAndWait([&] {
        Article article = Article::insert(main());
        article.setFeed(Feed(main().object(c.objectID())));
        article.setUnreadInFeed(Feed(main().object(c.objectID())));
        EXPECT_EQ(source->unreadArticlesCount(inMain(c)), 5);
        EXPECT_EQ(countsOf(ids), (std::vector<std::optional<std::int64_t>>{5, 5, 2, 3}));
        main().rollback();
    });
    EXPECT_EQ(countsOf({a.objectID()}), (std::vector<std::optional<std::int64_t>>{2}));
}

TEST_F(NodesSourceLookups, SettersChangeAndSaveInTheObjectsContext) {
    Folder folder = addFolder("F");
    Feed feed = addFeed("a", "https://a.example/", folder);

    source->setNotifyUpdates(feed, true);
    source->setNewsletterType(feed, NewsletterType::hourly);
    source->setName(feed, "renamed");
    source->setClosed(folder, true);
    EXPECT_TRUE(source->isClosed(folder));
    source->setHTTPInfo(feed, WebServiceHTTPInfo{"Tue, 01 Dec 2026 10:00:00 GMT", "\"v1\""}, background());
    source->setIcon(feed, graph::Bytes{9}, background());
    background().performAndWait([&] {
        EXPECT_TRUE(feed.notifyUpdates());
        EXPECT_EQ(feed.newsletterType(), 1);
        EXPECT_EQ(feed.name(), "renamed");
        EXPECT_EQ(feed.httpLastModified(), "Tue, 01 Dec 2026 10:00:00 GMT");
        EXPECT_EQ(feed.httpETag(), "\"v1\"");
        EXPECT_EQ(feed.icon(), graph::Bytes{9});
        EXPECT_FALSE(background().hasChanges());
    });

    struct Case {
        int position;
        std::int16_t priority;
    };
    for (const Case& c : std::vector<Case>{{2, 1}, {1, 0}, {0, -1}}) {
        source->setPriority(folder, c.position);
        background().performAndWait([&] {
            EXPECT_EQ(folder.priority(), c.priority);
            // The folder's feeds follow its new sort name.
            EXPECT_EQ(feed.sortName()->rfind(*folder.sortName() + " ", 0), 0u);
        });
    }
}

TEST_F(NodesSourceLookups, DeleteFeedsNotInAListKeepsListedFeedsByURLOrHash) {
    Folder kept = addFolder("Kept");
    Folder emptied = addFolder("Emptied");
    Feed a = addFeed("a", "https://a.example/feed", kept);
    Feed b = addFeed("b", "https://b.example/feed?x=1", emptied);
    Feed c = addFeed("c", "https://c.example/feed");
    auto aDocs = addArticles(a, 1, 1);
    auto bDocs = addArticles(b, 2, 0);
    auto cDocs = addArticles(c, 0, 3);

    // a by its exact text, c by its hash (another text for the same URL).
    wait([&](NodesSource::Completion done) {
        source->deleteFeeds({url("https://a.example/feed"), url("https://c.example/feed#x")}, std::move(done));
    });
    saveAndWait();  // the folder deletion's save may still be on its way
    EXPECT_EQ(storedFeedURLs(), (std::vector<std::string>{"https://a.example/feed", "https://c.example/feed"}));
    ASSERT_TRUE(runMainUntil([&] { return source->allFolderNames().size() == 1; }));
    EXPECT_EQ(source->allFolderNames(), (std::vector<std::string>{"Kept"}));
    EXPECT_EQ(storedCount(Article::entityName), 5u);
    // The deleted articles leave the search index, compacted once.
    std::lock_guard lock(index->mutex);
    EXPECT_EQ(index->removed, bDocs);
    EXPECT_EQ(index->compactions, 1);
}

TEST_F(NodesSourceLookups, DeleteFeedsNotInAnEmptyListDeletesEverything) {
    Folder folder = addFolder("F");
    Feed a = addFeed("a", "https://a.example/feed", folder);
    addFeed("b", "https://b.example/feed");
    auto docs = addArticles(a, 2, 0);
    wait([&](NodesSource::Completion done) { source->deleteFeeds({}, std::move(done)); });
    saveAndWait();
    EXPECT_EQ(storedCount(Feed::entityName), 0u);
    EXPECT_EQ(storedCount(Folder::entityName), 0u);
    EXPECT_EQ(storedCount(Article::entityName), 0u);
    EXPECT_TRUE(source->allFeeds().empty());
    ASSERT_TRUE(runMainUntil([&] { return source->allFolderNames().empty(); }));
    EXPECT_EQ(source->numberOfChildren(std::nullopt), 0u);
    std::lock_guard lock(index->mutex);
    EXPECT_EQ(index->removed, docs);
    EXPECT_EQ(index->compactions, 1);
}

TEST_F(NodesSourceLookups, RemoveAllNodesTakesTheSearchDocumentsAlong) {
    Folder folder = addFolder("F");
    Feed a = addFeed("a", "https://a.example/feed", folder);
    Feed b = addFeed("b", "https://b.example/feed");
    auto docs = addArticles(a, 1, 0);
    docs.merge(addArticles(b, 0, 2));
    wait([&](NodesSource::Completion done) { source->removeAllNodes(std::move(done)); });
    EXPECT_EQ(storedCount(Node::entityName), 0u);
    EXPECT_EQ(storedCount(Article::entityName), 0u);
    EXPECT_EQ(source->numberOfChildren(std::nullopt), 0u);
    std::lock_guard lock(index->mutex);
    EXPECT_EQ(index->removed, docs);
    EXPECT_EQ(index->compactions, 1);
}

TEST_F(NodesSourceLookups, DeleteEmptyFoldersKeepsFoldersWithFeeds) {
    Folder full = addFolder("Full");
    addFolder("Empty");
    addFeed("a", "https://a.example/feed", full);
    wait([&](NodesSource::Completion done) { source->deleteEmptyFolders(std::move(done)); });
    ASSERT_TRUE(runMainUntil([&] { return source->allFolderNames().size() == 1; }));
    EXPECT_EQ(source->allFolderNames(), (std::vector<std::string>{"Full"}));
}

TEST_F(NodesSourceLookups, DeleteNodesRefreshesTheListsBeforeTheCompletion) {
    Folder folder = addFolder("F");
    addFeed("a", "https://a.example/feed", folder);
    addFeed("b", "https://b.example/feed");
    std::vector<std::string> foldersSeen;
    std::size_t feedsSeen = 99;
    wait([&](NodesSource::Completion done) {
        source->deleteNodes(inMain(folder), [&, done] {
            foldersSeen = source->allFolderNames();
            feedsSeen = source->allFeeds().size();
            done();
        });
    });
    EXPECT_TRUE(foldersSeen.empty());
    EXPECT_EQ(feedsSeen, 1u);
}

TEST_F(NodesSourceLookups, CloudFeedSettingsAsATable) {
    const std::string a = "https://a.example/feed", b = "https://b.example/feed", c = "https://c.example/feed";
    using Lists = std::vector<CloudFeedList>;
    struct Case {
        const char* what;
        Lists lists;
        // notify and newsletter of a, b and c after, each starting notify on and daily
        std::vector<std::pair<bool, int>> expected;
    };
    const std::vector<Case> cases = {
        {"only a push list: listed notify, others not; newsletters reset",
         Lists{{{a, b}, CloudFeedsType::push}},
         {{true, 0}, {true, 0}, {false, 0}}},
        {"no lists: notify stays, newsletters reset", Lists{}, {{true, 0}, {true, 0}, {true, 0}}},
        {"a later push list wins",
         Lists{{{a}, CloudFeedsType::push}, {{b}, CloudFeedsType::push}},
         {{false, 0}, {true, 0}, {false, 0}}},
        {"hourly listed first wins",
         Lists{{{a}, CloudFeedsType::newsletterHourly}, {{a, b}, CloudFeedsType::newsletterDaily}},
         {{true, 1}, {true, 2}, {true, 0}}},
        {"daily listed first wins",
         Lists{{{a, b}, CloudFeedsType::newsletterDaily}, {{a}, CloudFeedsType::newsletterHourly}},
         {{true, 2}, {true, 2}, {true, 0}}},
        {"the user list is ignored; URLs compare exactly",
         Lists{{{a, b, c}, CloudFeedsType::user}, {{"HTTPS://A.EXAMPLE/feed"}, CloudFeedsType::push}},
         {{false, 0}, {false, 0}, {false, 0}}},
    };
    std::vector<Feed> feeds;
    for (const auto& u : {a, b, c})
        feeds.push_back(source->addFeed(u, u, std::nullopt, std::nullopt, true, NewsletterType::daily));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const Feed& feed : feeds) {
            source->setNotifyUpdates(feed, true);
            source->setNewsletterType(feed, NewsletterType::daily);
        }
        wait([&](NodesSource::Completion done) { source->applyCloudFeedSettings(c.lists, std::move(done)); });
        background().performAndWait([&] {
            EXPECT_FALSE(background().hasChanges());  // saved
            for (std::size_t i = 0; i < feeds.size(); ++i) {
                EXPECT_EQ(feeds[i].notifyUpdates(), c.expected[i].first) << i;
                EXPECT_EQ(feeds[i].newsletterType(), c.expected[i].second) << i;
            }
        });
    }
}

}  // namespace
}  // namespace tallowmere
