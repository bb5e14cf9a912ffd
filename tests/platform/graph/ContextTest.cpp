#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "GraphTestModel.h"
#include "platform/graph/Store.h"

using namespace tallowmere::graph;
using namespace tallowmere::graph::test;

namespace {
ObjectPtr makeFeed(Context& context, const std::string& name, const std::string& url) {
    auto feed = context.insert("Feed");
    feed->setString("name", name);
    feed->setString("url", url);
    return feed;
}

ObjectPtr makeArticle(Context& context, const ObjectPtr& feed, const std::string& title, double date) {
    auto article = context.insert("Article");
    article->setString("title", title);
    article->setDate("date", Date{date});
    article->setToOne("feed", feed);
    article->setToOne("unreadInFeed", feed);
    return article;
}
}  // namespace

using ContextTest = GraphTest;

TEST_F(ContextTest, StoreHasWalForeignKeysAndAPersistentIdentifier) {
    std::string identifier = container->storeIdentifier();
    EXPECT_EQ(identifier.size(), 36u);
    {
        std::lock_guard lock(container->store().mutex());
        auto* mode = container->store().db().prepare("PRAGMA journal_mode");
        ASSERT_TRUE(mode && mode->step());
        EXPECT_EQ(mode->text(0), "wal");
        mode->reset();
        auto* keys = container->store().db().prepare("PRAGMA foreign_keys");
        ASSERT_TRUE(keys && keys->step());
        EXPECT_EQ(keys->integer(0), 1);
        keys->reset();
    }
    main.reset();
    container.reset();
    container = open();
    main = container->mainContext();
    EXPECT_EQ(container->storeIdentifier(), identifier);
}

// Key indexes list only rows with a target; a file whose index lists every
// row (as files made earlier do) gets the narrower one when opened, and the
// log of a large save is copied back once the store closes.
TEST_F(ContextTest, KeyIndexesLeaveOutRowsWithoutATargetAlsoInOlderFiles) {
    auto keyIndexSQL = [&] {
        std::lock_guard lock(container->store().mutex());
        auto* row = container->store().db().prepare(
            "SELECT sql FROM sqlite_schema WHERE type = 'index' AND name = 'ix_article_unreadInFeed_id'");
        std::string sql = row && row->step() ? row->text(0) : "";
        if (row) row->reset();
        return sql;
    };
    EXPECT_NE(keyIndexSQL().find("WHERE \"unreadInFeed_id\" IS NOT NULL"), std::string::npos) << keyIndexSQL();
    {
        std::lock_guard lock(container->store().mutex());
        auto& db = container->store().db();
        ASSERT_TRUE(db.exec("DROP INDEX ix_article_unreadInFeed_id").ok());
        ASSERT_TRUE(db.exec("CREATE INDEX ix_article_unreadInFeed_id ON article(unreadInFeed_id)").ok());
    }
    main->performAndWait([&] {
        auto feed = main->insert("Feed");
        for (int i = 0; i < 3000; ++i) {
            auto article = main->insert("Article");
            article->setString("body", std::string(2000, 'x'));
            article->setToOne("feed", feed);
            if (i % 2) article->setToOne("unreadInFeed", feed);
        }
        ASSERT_TRUE(main->save().ok());
    });
    main.reset();
    container.reset();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "store.sqlite-wal"));
    container = open();
    main = container->mainContext();
    EXPECT_NE(keyIndexSQL().find(" WHERE "), std::string::npos) << keyIndexSQL();
    FetchRequest unread("Article");
    unread.predicate = Predicate::notNil("unreadInFeed");
    main->performAndWait([&] { EXPECT_EQ(main->count(unread).value(), 1500u); });
}

TEST_F(ContextTest, SaveInPrivateContextReachesMainContextThroughMerging) {
    // The main context holds the feed loaded before the background change.
    main->performAndWait([&] {
        makeFeed(*main, "Alpha", "https://a.example/feed");
        ASSERT_TRUE(main->save().ok());
    });
    ObjectPtr mainFeed;
    main->performAndWait([&] {
        FetchRequest request("Feed");
        auto feeds = main->fetch(request);
        ASSERT_TRUE(feeds.ok());
        ASSERT_EQ(feeds->size(), 1u);
        mainFeed = feeds->at(0);
        EXPECT_EQ(mainFeed->string("name"), "Alpha");
        EXPECT_EQ(mainFeed->count("articles"), 0u);
    });
    ObjectID feedID = mainFeed->objectID();

    auto background = container->newPrivateContext("test_background_queue");
    background->performAndWait([&] {
        auto feed = background->existingObject(feedID);
        ASSERT_TRUE(feed.ok());
        feed.value()->setString("name", "Alpha renamed");
        makeArticle(*background, feed.value(), "One", 100);
        makeArticle(*background, feed.value(), "Two", 200);
        ASSERT_TRUE(background->save().ok());
    });
    std::atomic<bool> merged = false;
    struct Watch : ContextObserver {
        std::atomic<bool>* flag;
        void contextDidChange(const ChangeSet& changes) override { *flag = !changes.inserted.empty(); }
    } watch;
    watch.flag = &merged;
    main->addObserver(&watch);
    ASSERT_TRUE(runMainUntil([&] { return merged.load(); }));
    main->removeObserver(&watch);
    main->performAndWait([&] {
        EXPECT_EQ(mainFeed->string("name"), "Alpha renamed");
        auto articles = mainFeed->toMany("articles");
        ASSERT_EQ(articles.size(), 2u);
        EXPECT_EQ(articles[0]->string("title"), "One");
        EXPECT_EQ(articles[1]->string("title"), "Two");
        EXPECT_EQ(mainFeed->count("unreadArticles"), 2u);
        EXPECT_EQ(articles[0]->toOne("feed"), mainFeed);
    });
}

TEST_F(ContextTest, MergePoliciesSettleAConflictingPropertyByProperty) {
    for (MergePolicy policy : {MergePolicy::storeTrumps, MergePolicy::objectTrumps}) {
        ObjectID id;
        main->performAndWait([&] {
            auto feed = makeFeed(*main, "Original", "https://a.example/");
            ASSERT_TRUE(main->save().ok());
            id = feed->objectID();
        });
        auto background = container->newPrivateContext();
        background->setAutomaticallyMergesChanges(false);
        ObjectPtr mainFeed;
        main->performAndWait([&] {
            mainFeed = main->existingObject(id).value();
            mainFeed->setString("name", "Main name");
        });
        background->performAndWait([&] {
            auto feed = background->existingObject(id).value();
            feed->setString("name", "Background name");
            feed->setString("url", "https://b.example/");
            ASSERT_TRUE(background->save().ok());
        });
        // The main context saves before the background save was merged.
        main->performAndWait([&] {
            main->setMergePolicy(policy);
            ASSERT_TRUE(main->save().ok());
            // The property only the other side changed arrives either way.
            EXPECT_EQ(mainFeed->string("url"), "https://b.example/");
            EXPECT_EQ(mainFeed->string("name"), policy == MergePolicy::storeTrumps ? "Background name" : "Main name");
        });
        background->performAndWait([&] {
            auto feed = background->existingObject(id).value();
            background->refresh(feed, false);
            EXPECT_EQ(feed->string("name"), policy == MergePolicy::storeTrumps ? "Background name" : "Main name");
            EXPECT_EQ(feed->string("url"), "https://b.example/");
        });
        runMainUntil([] { return true; });
    }
}

TEST_F(ContextTest, RelationsAreKeptAsInversesAndCascadeOnDelete) {
    main->performAndWait([&] {
        auto folder = main->insert("Folder");
        folder->setString("name", "News");
        auto feed = makeFeed(*main, "Feed", "https://f.example/");
        auto other = makeFeed(*main, "Other", "https://o.example/");
        folder->add("feeds", feed);
        EXPECT_EQ(feed->toOne("folder"), folder);
        auto a1 = makeArticle(*main, feed, "a1", 1);
        auto a2 = makeArticle(*main, feed, "a2", 2);
        auto tag = main->insert("Tag");
        tag->setString("name", "design");
        a1->add("tags", tag);
        a2->add("tags", tag);
        EXPECT_EQ(tag->count("articles"), 2u);
        EXPECT_EQ(feed->count("articles"), 2u);
        EXPECT_EQ(feed->count("unreadArticles"), 2u);
        ASSERT_TRUE(main->save().ok());

        // Moving an article and marking it read changes the other sides.
        a2->setToOne("feed", other);
        a2->setToOne("unreadInFeed", nullptr);
        a2->setDate("readDate", Date{5});
        EXPECT_EQ(feed->toManyIDs("articles"), std::vector<ObjectID>{a1->objectID()});
        EXPECT_EQ(other->toManyIDs("articles"), std::vector<ObjectID>{a2->objectID()});
        EXPECT_EQ(feed->count("unreadArticles"), 1u);
        ASSERT_TRUE(main->save().ok());

        // Relations survive a trip through the store.
        main->refresh(feed, false);
        main->refresh(tag, false);
        EXPECT_EQ(feed->count("articles"), 1u);
        EXPECT_EQ(tag->toManyIDs("articles").size(), 2u);
        a1->remove("tags", tag);
        EXPECT_EQ(tag->count("articles"), 1u);
        ASSERT_TRUE(main->save().ok());

        // Deleting the folder takes its feed and the feed's articles; the tag stays.
        ObjectID a1ID = a1->objectID(), feedID = feed->objectID();
        main->deleteObject(folder);
        EXPECT_TRUE(feed->isDeleted());
        EXPECT_TRUE(a1->isDeleted());
        EXPECT_FALSE(a2->isDeleted());
        ASSERT_TRUE(main->save().ok());
        EXPECT_FALSE(main->existingObject(a1ID).ok());
        EXPECT_FALSE(main->existingObject(feedID).ok());
        auto count = main->count(FetchRequest("Article"));
        ASSERT_TRUE(count.ok());
        EXPECT_EQ(count.value(), 1u);
        main->refresh(tag, false);
        EXPECT_EQ(tag->toManyIDs("articles"), std::vector<ObjectID>{a2->objectID()});
    });
}

TEST_F(ContextTest, TemporaryIDsBecomePermanentAndURIsRoundTrip) {
    main->performAndWait([&] {
        auto feed = makeFeed(*main, "Feed", "https://f.example/");
        auto article = makeArticle(*main, feed, "a", 1);
        ObjectID temporary = article->objectID();
        EXPECT_TRUE(temporary.isTemporary());
        ASSERT_TRUE(main->obtainPermanentIDs({article}).ok());
        ObjectID permanent = article->objectID();
        EXPECT_FALSE(permanent.isTemporary());
        EXPECT_EQ(main->object(temporary), article);  // the old ID still finds it in this context
        EXPECT_EQ(feed->toManyIDs("articles"), std::vector<ObjectID>{permanent});
        ASSERT_TRUE(main->save().ok());
        EXPECT_EQ(article->objectID(), permanent);
        EXPECT_FALSE(feed->objectID().isTemporary());

        std::string uri = permanent.uriRepresentation();
        EXPECT_EQ(uri, "tallowmere://" + container->storeIdentifier() + "/Article/p" + std::to_string(permanent.key()));
        auto back = container->objectID(uri);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, permanent);
        EXPECT_EQ(main->existingObject(*back).value(), article);
        EXPECT_EQ(container->objectID(feed->objectID().uriRepresentation())->entity()->name(), "Feed");
    });
    // Malformed and foreign URIs are refused.
    auto other = open("other.sqlite");
    ASSERT_TRUE(other);
    const std::string store = container->storeIdentifier();
    for (const std::string& bad :
         {std::string(""), std::string("tallowmere://"), "tallowmere://" + store, "tallowmere://" + store + "/Article",
          "tallowmere://" + store + "/Article/p", "tallowmere://" + store + "/Article/12", "tallowmere://" + store + "/Article/p-3",
          "tallowmere://" + store + "/Article/p0", "tallowmere://" + store + "/Article/p12x", "tallowmere://" + store + "/Nope/p1",
          "tallowmere://" + store + "/Article/t1", "x-other://" + store + "/Article/p1",
          "tallowmere://" + other->storeIdentifier() + "/Article/p1", "tallowmere://" + store + "/Article/p99999999999999999999"}) {
        EXPECT_FALSE(container->objectID(bad).has_value()) << bad;
    }
    // A well-formed URI of a row that does not exist resolves to an ID but to no object.
    main->performAndWait([&] {
        auto id = container->objectID("tallowmere://" + store + "/Article/p424242");
        ASSERT_TRUE(id.has_value());
        EXPECT_FALSE(main->existingObject(*id).ok());
        // An ID of another store is not an object of this one.
        auto foreign = other->objectID("tallowmere://" + other->storeIdentifier() + "/Article/p1");
        EXPECT_FALSE(main->existingObject(*foreign).ok());
    });
}

TEST_F(ContextTest, KeysAreNeverReusedAfterDeletesAndRestarts) {
    std::int64_t lastKey = 0;
    main->performAndWait([&] {
        auto feed = makeFeed(*main, "F", "u");
        ASSERT_TRUE(main->save().ok());
        lastKey = feed->objectID().key();
        main->deleteObject(feed);
        ASSERT_TRUE(main->save().ok());
    });
    ASSERT_TRUE(container->batchDelete("Node").ok());
    main.reset();
    container.reset();
    container = open();
    main = container->mainContext();
    main->performAndWait([&] {
        auto feed = makeFeed(*main, "G", "v");
        ASSERT_TRUE(main->save().ok());
        EXPECT_GT(feed->objectID().key(), lastKey);
    });
}

TEST_F(ContextTest, FetchesSeeTheContextsOwnPendingChanges) {
    main->performAndWait([&] {
        auto feed = makeFeed(*main, "Feed", "https://f.example/");
        for (int i = 0; i < 5; ++i) makeArticle(*main, feed, "stored " + std::to_string(i), i * 10);
        ASSERT_TRUE(main->save().ok());

        FetchRequest request("Article");
        request.predicate = Predicate::notNil("unreadInFeed");
        request.sortDescriptors = {{"date", true, false}};
        auto before = main->fetch(request).value().all();
        ASSERT_EQ(before.size(), 5u);

        makeArticle(*main, feed, "pending", 25);                    // inserted, matches
        before[0]->setToOne("unreadInFeed", nullptr);               // updated, no longer matches
        before[4]->setDate("date", Date{-1});                       // updated, moves first
        main->deleteObject(before[2]);                              // deleted
        auto tag = main->insert("Tag");
        tag->setString("name", "Ärger");

        auto after = main->fetch(request);
        ASSERT_TRUE(after.ok());
        std::vector<std::string> titles;
        for (const auto& a : after.value()) titles.push_back(*a->string("title"));
        EXPECT_EQ(titles, (std::vector<std::string>{"stored 4", "stored 1", "pending", "stored 3"}));
        EXPECT_EQ(main->count(request).value(), 4u);
        request.fetchLimit = 2;
        EXPECT_EQ(main->fetchObjectIDs(request).value().size(), 2u);
        EXPECT_EQ(main->count(request).value(), 2u);

        FetchRequest tags("Tag");
        tags.predicate = Predicate::equalsFolded("name", "arger");
        tags.fetchLimit = 1;
        auto found = main->fetch(tags);
        ASSERT_TRUE(found.ok());
        ASSERT_EQ(found->size(), 1u);
        EXPECT_EQ(found->at(0), tag);

        auto values = main->fetchValues(request, {"title", "feed.url"});
        ASSERT_TRUE(values.ok());
        ASSERT_EQ(values->size(), 2u);
        EXPECT_EQ(std::get<std::string>(values.value()[0][0]), "stored 4");
        EXPECT_EQ(std::get<std::string>(values.value()[0][1]), "https://f.example/");

        main->rollback();
        EXPECT_FALSE(main->hasChanges());
        request.fetchLimit = 0;
        EXPECT_EQ(main->count(request).value(), 5u);
    });
}

TEST_F(ContextTest, BatchedFetchesLoadRowsLazilyAndPrefetchRelations) {
    main->performAndWait([&] {
        auto feed = makeFeed(*main, "Feed", "https://f.example/");
        for (int i = 0; i < 250; ++i) makeArticle(*main, feed, "a" + std::to_string(i), i);
        ASSERT_TRUE(main->save().ok());
    });
    auto background = container->newPrivateContext();
    background->performAndWait([&] {
        FetchRequest request("Article");
        request.sortDescriptors = {{"date", false, false}};
        request.batchSize = 100;
        request.prefetchKeyPaths = {"feed"};
        auto articles = background->fetch(request);
        ASSERT_TRUE(articles.ok());
        ASSERT_EQ(articles->size(), 250u);
        auto first = articles->at(0);
        EXPECT_FALSE(first->isFault());
        EXPECT_EQ(first->string("title"), "a249");
        // The rest of the first batch is loaded, the next batch is not yet.
        EXPECT_FALSE(background->object(articles->objectIDs()[99])->isFault());
        EXPECT_TRUE(background->object(articles->objectIDs()[100])->isFault());
        EXPECT_FALSE(background->object(std::get<ObjectID>(first->value("feed")))->isFault());
        EXPECT_EQ(articles->at(249)->string("title"), "a0");

        // The aggregate over the feeds' unread sets is one count.
        FetchRequest feeds("Feed");
        auto all = background->fetch(feeds).value().all();
        EXPECT_EQ(background->sumOfCounts(all, "unreadArticles").value(), 250);
        FetchRequest empty("Folder");
        empty.predicate = Predicate::count("feeds", Comparison::equal, 0);
        EXPECT_EQ(background->count(empty).value(), 0u);
    });
}

TEST_F(ContextTest, BatchDeleteRemovesRowsWithoutTellingContexts) {
    ObjectPtr feed;
    main->performAndWait([&] {
        feed = makeFeed(*main, "F", "u");
        makeArticle(*main, feed, "a", 1);
        ASSERT_TRUE(main->save().ok());
    });
    ASSERT_TRUE(container->batchDelete("Feed").ok());
    main->performAndWait([&] {
        EXPECT_FALSE(feed->isDeleted());  // not told
        EXPECT_EQ(main->count(FetchRequest("Node")).value(), 0u);
        EXPECT_EQ(main->count(FetchRequest("Article")).value(), 0u);  // cascaded in the store
    });
    EXPECT_FALSE(container->batchDelete("Nothing").ok());
    EXPECT_TRUE(container->batchDelete("Tag").ok());
}

TEST_F(ContextTest, AFailedSaveReportsAnErrorAndKeepsTheChanges) {
    main->performAndWait([&] {
        auto feed = makeFeed(*main, "F", "u");
        ASSERT_TRUE(main->save().ok());
        {
            std::lock_guard lock(container->store().mutex());
            ASSERT_TRUE(container->store().db().exec(
                "CREATE TRIGGER refuse BEFORE UPDATE ON node BEGIN SELECT RAISE(ABORT, 'refused'); END").ok());
        }
        feed->setString("name", "G");
        auto saved = main->save();
        ASSERT_FALSE(saved.ok());
        EXPECT_EQ(saved.error().code, GraphErrorCode::saveFailed);
        EXPECT_NE(saved.error().message.find("refused"), std::string::npos);
        EXPECT_TRUE(main->hasChanges());
        EXPECT_EQ(feed->string("name"), "G");
        {
            std::lock_guard lock(container->store().mutex());
            ASSERT_TRUE(container->store().db().exec("DROP TRIGGER refuse").ok());
        }
        EXPECT_TRUE(main->save().ok());
        EXPECT_FALSE(main->hasChanges());
    });
}

TEST_F(ContextTest, AttributesKeepAbsentApartFromEmpty) {
    main->performAndWait([&] {
        auto feed = makeFeed(*main, "", "u");
        feed->setBinary("icon", Bytes{});
        auto article = main->insert("Article");
        article->setReal("score", 2.5);
        article->setInteger("tallowmereHash", INT64_MIN);
        ASSERT_TRUE(main->save().ok());
        main->refresh(feed, false);
        main->refresh(article, false);
        EXPECT_EQ(feed->string("name"), std::optional<std::string>(""));
        EXPECT_EQ(feed->string("sortName"), std::nullopt);
        EXPECT_EQ(feed->binary("icon"), std::optional<Bytes>(Bytes{}));
        EXPECT_EQ(feed->date("lastUpdate"), std::nullopt);
        EXPECT_FALSE(feed->boolean("notifyUpdates"));
        EXPECT_EQ(article->real("score"), 2.5);
        EXPECT_EQ(article->integer("tallowmereHash"), INT64_MIN);
        feed->setInteger("priority", 70000);  // 16 bits
        EXPECT_EQ(feed->integer("priority"), static_cast<std::int16_t>(70000));
    });
}

TEST_F(ContextTest, RefreshDiscardsOneObjectsChangesOrKeepsThemWhenMerging) {
    main->performAndWait([&] {
        auto first = makeFeed(*main, "First", "https://1.example/");
        auto second = makeFeed(*main, "Second", "https://2.example/");
        ASSERT_TRUE(main->save().ok());
        first->setString("name", "First changed");
        second->setString("name", "Second changed");
        main->refresh(first, false);
        EXPECT_TRUE(first->isFault());
        EXPECT_EQ(first->string("name"), "First");
        EXPECT_FALSE(first->hasChanges());
        EXPECT_TRUE(main->hasChanges());  // the other object keeps its change
        // A refresh that merges keeps the object's own changes over the store's values.
        {
            std::lock_guard lock(container->store().mutex());
            ASSERT_TRUE(container->store().db().exec("UPDATE node SET url = 'https://elsewhere.example/' WHERE name = 'Second'").ok());
        }
        main->refresh(second, true);
        EXPECT_EQ(second->string("name"), "Second changed");
        EXPECT_EQ(second->string("url"), "https://elsewhere.example/");
        main->rollback();
        EXPECT_FALSE(main->hasChanges());
        EXPECT_EQ(second->string("name"), "Second");
    });
}

TEST_F(ContextTest, SchemaGrowsWithTheModelAndBadFilesAreRefused) {
    main->performAndWait([&] {
        makeFeed(*main, "Kept", "https://k.example/");
        ASSERT_TRUE(main->save().ok());
    });
    main.reset();
    container.reset();
    auto reopened = Container::open((dir.path() / "store.sqlite").string(), readerModel(true));
    ASSERT_TRUE(reopened.ok()) << reopened.error().message;
    auto context = reopened.value()->mainContext();
    context->performAndWait([&] {
        auto feeds = context->fetch(FetchRequest("Feed")).value().all();
        ASSERT_EQ(feeds.size(), 1u);
        EXPECT_EQ(feeds[0]->string("name"), "Kept");
        EXPECT_EQ(feeds[0]->string("language"), std::nullopt);
        feeds[0]->setString("language", "en");
        context->insert("Note")->setString("text", "n");
        ASSERT_TRUE(context->save().ok());
    });

    {
        std::ofstream garbage(dir.path() / "garbage.sqlite");
        garbage << std::string(4096, 'x');
    }
    auto refused = Container::open((dir.path() / "garbage.sqlite").string(), readerModel());
    EXPECT_FALSE(refused.ok());
    ModelDescription broken;
    broken.entity("A").toOne("b", "B", "a");
    EXPECT_FALSE(Container::open((dir.path() / "broken.sqlite").string(), broken).ok());
}

TEST_F(ContextTest, PermanentIDsOfTwoConnectionsAndOfAReopenedStoreNeverMeet) {
    auto second = open();
    ASSERT_TRUE(second);
    auto other = second->mainContext();
    std::vector<std::int64_t> keys;
    auto obtain = [&](Context& context, int count) {
        context.performAndWait([&] {
            auto feed = makeFeed(context, "Feed", "https://f.example/");
            std::vector<ObjectPtr> articles;
            for (int n = 0; n < count; ++n) articles.push_back(makeArticle(context, feed, "a", n));
            ASSERT_TRUE(context.obtainPermanentIDs(articles).ok());
            for (const auto& article : articles) keys.push_back(article->objectID().key());
            ASSERT_TRUE(context.save().ok());
        });
    };
    // Each connection's second batch comes from the keys it reserved ahead.
    for (int round = 0; round < 2; ++round) {
        obtain(*main, 3);
        obtain(*other, 3);
    }
    other.reset();
    second.reset();
    main.reset();
    container.reset();
    container = open();
    main = container->mainContext();
    obtain(*main, 1);
    std::set<std::int64_t> distinct(keys.begin(), keys.end());
    EXPECT_EQ(distinct.size(), keys.size());
    EXPECT_EQ(*distinct.rbegin(), keys.back()) << "the reopened store hands out keys after every earlier one";
}
