#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "foundation/Logger.h"
#include "platform/dispatch/Queue.h"
#include "platform/graph/Database.h"
#include "platform/graph/Store.h"
#include "store/Article.h"
#include "store/DataDirectory.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "support/XdgSandbox.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"

using namespace tallowmere;
using tallowmere::test::LogCapture;
using tallowmere::test::ScopedEnv;
using tallowmere::graph::Bytes;
using tallowmere::graph::Date;

using DataControllerTest = test::StoreTest;

TEST_F(DataControllerTest, StoreFileLivesInTheDataFolderOfTheXdgRules) {
    auto home = test::XdgSandbox::home();
    {
        ScopedEnv data("XDG_DATA_HOME", (home / "xdg-data").c_str());
        EXPECT_EQ(DataController::defaultStorePath(), home / "xdg-data" / "Tallowmere" / "Tallowmere.sqlite");
    }
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        ScopedEnv data("XDG_DATA_HOME", ignored);
        ScopedEnv homeVariable("HOME", home.c_str());
        EXPECT_EQ(DataController::defaultStorePath(),
                  home / ".local" / "share" / "Tallowmere" / "Tallowmere.sqlite");
    }
}

TEST_F(DataControllerTest, SharedControllerCreatesItsFolderAndStore) {
    auto home = test::XdgSandbox::home();
    ScopedEnv data("XDG_DATA_HOME", (home / "shared-data").c_str());
    auto shared = DataController::shared();
    EXPECT_EQ(DataController::shared(), shared);
    EXPECT_TRUE(std::filesystem::exists(home / "shared-data" / "Tallowmere" / "Tallowmere.sqlite"));
    EXPECT_EQ(DataController::owning(*shared->mainContext()), shared);
    DataController::replaceShared(controller);
    EXPECT_EQ(DataController::shared(), controller);
    EXPECT_EQ(DataController::owning(*controller->backgroundContext()), controller);
    DataController::replaceShared(nullptr);
}

TEST_F(DataControllerTest, SaveWithoutChangesCompletesOnTheSaveQueueAndWritesNothing) {
    std::atomic<bool> done = false;
    std::string label;
    controller->save([&] {
        label = dispatch::currentQueueLabel();
        done = true;
    });
    ASSERT_TRUE(runMainUntil([&] { return done.load(); }));
    EXPECT_EQ(label, DataController::saveQueueLabel);
    EXPECT_EQ(controller->saveQueue().label(), DataController::saveQueueLabel);
    EXPECT_EQ(controller->saveQueue().qos(), dispatch::QualityOfService::utility);
}

TEST_F(DataControllerTest, SaveChainOrderAndCompletionQueue) {
    struct Case {
        const char* name;
        bool mainChanges;
        bool backgroundChanges;
        std::string completionQueue;
    } cases[] = {
        {"main only", true, false, dispatch::MainQueue::kLabel},
        {"background only", false, true, DataController::backgroundQueueLabel},
        {"both", true, true, dispatch::MainQueue::kLabel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Feed> mainFeed, backgroundFeed;
        if (c.mainChanges) main().performAndWait([&] { mainFeed = Feed::insert(main()); });
        if (c.backgroundChanges)
            background().performAndWait([&] { backgroundFeed = Feed::insert(background()); });
        std::atomic<bool> done = false;
        std::string label;
        bool mainHadChangesAtCompletion = true, backgroundHadChangesAtCompletion = true;
        controller->save([&] {
            label = dispatch::currentQueueLabel();
            mainHadChangesAtCompletion = main().hasChanges();
            backgroundHadChangesAtCompletion = background().hasChanges();
            done = true;
        });
        ASSERT_TRUE(runMainUntil([&] { return done.load(); }));
        EXPECT_EQ(label, c.completionQueue);
        EXPECT_FALSE(mainHadChangesAtCompletion);
        EXPECT_FALSE(backgroundHadChangesAtCompletion);
        std::int64_t mainKey = 0, backgroundKey = 0;
        if (mainFeed) main().performAndWait([&] { mainKey = mainFeed->objectID().key(); });
        if (backgroundFeed)
            background().performAndWait([&] {
                backgroundKey = backgroundFeed->objectID().key();
                backgroundFeed.reset();
            });
        if (c.mainChanges) {
            EXPECT_GT(mainKey, 0);
        }
        if (c.backgroundChanges) {
            EXPECT_GT(backgroundKey, 0);
        }
        // Keys are handed out in save order: the background context saved first.
        if (c.mainChanges && c.backgroundChanges) {
            EXPECT_LT(backgroundKey, mainKey);
        }
    }
}

TEST_F(DataControllerTest, SaveWithoutCompletionSavesTheSame) {
    main().performAndWait([&] { Feed::insert(main()).setName("Main"); });
    background().performAndWait([&] { Feed::insert(background()).setName("Background"); });
    controller->save();
    // The chain is serial: a later save completes after the first one's saves.
    saveAndWait();
    ASSERT_TRUE(runMainUntil([&] { return !main().hasChanges() && !background().hasChanges(); }));
    auto reader = controller->persistentContainer().newPrivateContext();
    reader->performAndWait([&] { EXPECT_EQ(reader->count(Feed::fetchRequest()).value(), 2u); });
}

TEST_F(DataControllerTest, BackgroundSavesReachTheMainContextByMerging) {
    std::optional<Feed> feed;
    main().performAndWait([&] {
        feed = Feed::insert(main());
        feed->setName("Before");
    });
    saveAndWait();
    auto id = feed->objectID();
    background().performAndWait([&] {
        auto there = Feed(background().existingObject(id).value());
        there.setName("After");
        auto article = Article::insert(background());
        article.setFeed(there);
        article.setUnreadInFeed(there);
    });
    saveAndWait();
    ASSERT_TRUE(runMainUntil([&] { return feed->name() == "After"; }));
    EXPECT_EQ(feed->unreadCount(), 1u);
}

TEST_F(DataControllerTest, ADeletionSavedElsewhereDoesNotStopTheNextSave) {
    // A feed is deleted while its refresh stores articles in the background.
    graph::ObjectID goneID, keptID;
    main().performAndWait([&] {
        auto gone = Feed::insert(main());
        gone.setName("Gone");
        auto kept = Feed::insert(main());
        kept.setName("Kept");
    });
    saveAndWait();
    main().performAndWait([&] {
        for (const auto& feed : makeHandles<Feed>(main().fetch(Feed::fetchRequest()).value()))
            (feed.name() == "Gone" ? goneID : keptID) = feed.objectID();
    });
    background().performAndWait([&] {
        auto gone = Feed(background().existingObject(goneID).value());
        auto kept = Feed(background().existingObject(keptID).value());
        auto orphan = Article::insert(background());
        orphan.setTitle("Orphan");
        orphan.setFeed(gone);
        orphan.setUnreadInFeed(gone);
        auto other = Article::insert(background());
        other.setTitle("Other");
        other.setFeed(kept);
        other.setStarredInFeed(gone);
    });
    // The deletion reaches the store first (a chain that found only the
    // main context changed), then the background context is saved.
    main().performAndWait([&] {
        main().deleteObject(main().existingObject(goneID).value());
        ASSERT_TRUE(main().save().ok());
    });
    saveAndWait();

    auto reader = controller->persistentContainer().newPrivateContext();
    reader->performAndWait([&] {
        auto articles = makeHandles<Article>(reader->fetch(Article::fetchRequest()).value());
        ASSERT_EQ(articles.size(), 1u);  // the orphan went with its feed
        EXPECT_EQ(articles[0].title(), "Other");
        EXPECT_EQ(articles[0].feed()->objectID(), keptID);
        EXPECT_FALSE(articles[0].isStarred());
    });
}

TEST_F(DataControllerTest, MergePoliciesOfTheTwoContexts) {
    EXPECT_EQ(main().mergePolicy(), graph::MergePolicy::storeTrumps);
    EXPECT_EQ(background().mergePolicy(), graph::MergePolicy::objectTrumps);
    EXPECT_TRUE(main().automaticallyMergesChanges());
    EXPECT_TRUE(background().automaticallyMergesChanges());
}

TEST_F(DataControllerTest, AReopenedStoreHoldsWhatWasSaved) {
    std::string feedURI, articleURI, storeIdentifier = controller->persistentContainer().storeIdentifier();
    main().performAndWait([&] {
        auto folder = Folder::insert(main());
        folder.setName("Science");
        folder.setClosed(true);
        auto feed = Feed::insert(main());
        feed.setName("Physics");
        feed.setUrl("https://physics.example/feed.xml");
        feed.setTallowmereHash(-1234567890123456789);
        feed.setIcon(Bytes{0x89, 'P', 'N', 'G', 0});
        feed.setLastUpdate(Date{1700000000.5});
        feed.setNewsletterType(2);
        feed.setNotifyUpdates(true);
        feed.setPriority(NodePriority::high);
        feed.setFolder(folder);
        feed.updateSortName();
        auto article = Article::insert(main());
        article.setTitle("Quarks");
        article.setLink("https://physics.example/quarks");
        article.setDate(Date{1699999999.25});
        article.setFeed(feed);
        article.setStarredInFeed(feed);
        article.setIsFullTextContent(true);
        article.setReadDate(Date{1700000001});
    });
    saveAndWait();
    main().performAndWait([&] {
        auto feed = Feed(main().fetch(Feed::fetchRequest()).value().front());
        feedURI = feed.objectID().uriRepresentation();
        articleURI = feed.articles().front().objectID().uriRepresentation();
    });
    std::optional<Article> article;
    std::string sortName;
    main().performAndWait([&] {
        article = Article(main().fetch(Article::fetchRequest()).value().front());
        sortName = *article->feed()->sortName();
    });
    article->setHtml(Bytes{'<', 'p', '>', 'h', 'i', '<', '/', 'p', '>'});
    ASSERT_TRUE(runMainUntil([&] { return article->html().has_value(); }));
    article.reset();

    controller.reset();
    dispatch::MainQueue::shared().drain();
    controller = open();
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->persistentContainer().storeIdentifier(), storeIdentifier);

    auto feedID = controller->objectID(feedURI);
    auto articleID = controller->objectID(articleURI);
    ASSERT_TRUE(feedID && articleID);
    main().performAndWait([&] {
        auto feed = Feed(main().existingObject(*feedID).value());
        EXPECT_EQ(feed.name(), "Physics");
        EXPECT_EQ(feed.url(), "https://physics.example/feed.xml");
        EXPECT_EQ(feed.tallowmereHash(), -1234567890123456789);
        EXPECT_EQ(feed.icon(), (Bytes{0x89, 'P', 'N', 'G', 0}));
        EXPECT_EQ(feed.lastUpdate(), Date{1700000000.5});
        EXPECT_EQ(feed.newsletterType(), 2);
        EXPECT_TRUE(feed.notifyUpdates());
        EXPECT_EQ(feed.priority(), 1);
        EXPECT_EQ(feed.sortName(), sortName);
        EXPECT_FALSE(feed.httpETag());
        ASSERT_TRUE(feed.folder());
        EXPECT_EQ(feed.folder()->name(), "Science");
        EXPECT_TRUE(feed.folder()->closed());
        EXPECT_EQ(feed.groupName(), feed.folder()->sortName().value_or(""));
        auto stored = Article(main().existingObject(*articleID).value());
        EXPECT_EQ(stored.title(), "Quarks");
        EXPECT_EQ(stored.date(), Date{1699999999.25});
        EXPECT_EQ(stored.readDate(), Date{1700000001});
        EXPECT_FALSE(stored.creator());
        EXPECT_TRUE(stored.isFullTextContent());
        EXPECT_TRUE(stored.isRead());
        EXPECT_TRUE(stored.isStarred());
        EXPECT_EQ(stored.html(), (Bytes{'<', 'p', '>', 'h', 'i', '<', '/', 'p', '>'}));
        EXPECT_EQ(stored.siteURL()->absoluteString(), "https://physics.example/");
        EXPECT_EQ(stored.feed(), feed);
    });
}

TEST_F(DataControllerTest, ObjectIDForURIRepresentation) {
    std::string uri;
    main().performAndWait([&] { Feed::insert(main()); });
    saveAndWait();
    main().performAndWait(
        [&] { uri = main().fetch(Feed::fetchRequest()).value().front()->objectID().uriRepresentation(); });
    auto id = controller->objectID(uri);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->uriRepresentation(), uri);
    EXPECT_EQ(id->entity()->name(), "Feed");

    auto other = DataController::open(dir.path() / "other" / "Tallowmere.sqlite");
    ASSERT_TRUE(other.ok());
    std::string otherStore = other.value()->persistentContainer().storeIdentifier();
    std::string elsewhere = uri;
    elsewhere.replace(elsewhere.find(controller->persistentContainer().storeIdentifier()), otherStore.size(),
                      otherStore);
    for (const std::string& bad :
         {std::string(), std::string("not a uri"), elsewhere, uri + "x",
          uri.substr(0, uri.rfind('/')) + "/t-5", uri.substr(0, uri.rfind("Feed")) + "Unknown/p1"})
        EXPECT_FALSE(controller->objectID(bad)) << bad;
}

TEST_F(DataControllerTest, RemoveAllDeletesInTheStoreOnly) {
    LogCapture log;
    controller->removeAll<Article>();  // nothing stored: silently nothing
    main().performAndWait([&] {
        auto folder = Folder::insert(main());
        for (int i = 0; i < 2; ++i) {
            auto feed = Feed::insert(main());
            feed.setFolder(folder);
            auto article = Article::insert(main());
            article.setFeed(feed);
        }
    });
    saveAndWait();
    controller->removeAll<Feed>();
    auto reader = controller->persistentContainer().newPrivateContext();
    reader->performAndWait([&] {
        EXPECT_EQ(reader->count(Feed::fetchRequest()).value(), 0u);
        EXPECT_EQ(reader->count(Article::fetchRequest()).value(), 0u);  // the feeds took their articles
        EXPECT_EQ(reader->count(Folder::fetchRequest()).value(), 1u);
    });
    EXPECT_TRUE(log.lines().empty());

    controller->removeAll("NoSuchEntity");
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[ERROR]: remove entities error: "), std::string::npos) << lines[0];
}

using DataControllerDeathTest = DataControllerTest;

TEST_F(DataControllerDeathTest, AStoreThatCannotBeOpenedStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto blocker = dir.path() / "a-file";
    std::ofstream(blocker) << "not a folder";
    EXPECT_DEATH(
        {
            setenv("XDG_DATA_HOME", blocker.c_str(), 1);
            DataController::replaceShared(nullptr);
            DataController::shared();
        },
        "Fatal error: ");
}

TEST_F(DataControllerDeathTest, AFailedSaveStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            // A trigger makes every new node fail to store.
            auto& store = controller->persistentContainer().store();
            {
                std::lock_guard lock(store.mutex());
                ASSERT_TRUE(store.db().exec("CREATE TRIGGER refuse BEFORE INSERT ON \"" +
                                            controller->persistentContainer().entity("Node")->table() +
                                            "\" BEGIN SELECT RAISE(ABORT, 'refused by test'); END"));
            }
            main().performAndWait([&] { Feed::insert(main()); });
            saveAndWait();
        },
        "Fatal error: .*refused by test");
}
