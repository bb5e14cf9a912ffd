// What happens when two contexts, or two connections, change the same rows.
#include <sqlite3.h>

#include <atomic>
#include <thread>

#include "GraphTestModel.h"
#include "platform/graph/Store.h"

using namespace tallowmere::graph;
using namespace tallowmere::graph::test;

namespace {
// Keeps what one context saved, so that the test decides when (and whether)
// the main context merges it.
struct SavedChanges : ContextObserver {
    ChangeSet last;
    void contextDidChange(const ChangeSet& changes) override { last = changes; }
};

class ConflictTest : public GraphTest {
protected:
    void SetUp() override {
        GraphTest::SetUp();
        main->setAutomaticallyMergesChanges(false);
        background = container->newPrivateContext("conflict_background_queue");
        // It reads what it needs from the store; `saved` then holds its own saves only.
        background->setAutomaticallyMergesChanges(false);
        background->performAndWait([&] { background->addObserver(&saved); });
    }
    void TearDown() override {
        background->performAndWait([&] { background->removeObserver(&saved); });
        background.reset();
        GraphTest::TearDown();
    }
    ObjectID saveFeed(const std::string& name) {
        ObjectID id;
        main->performAndWait([&] {
            auto feed = main->insert("Feed");
            feed->setString("name", name);
            ASSERT_TRUE(main->save().ok());
            id = feed->objectID();
        });
        return id;
    }
    // Runs the change in the background context and saves it there.
    void inBackground(const std::function<void(Context&)>& change) {
        background->performAndWait([&] {
            change(*background);
            auto done = background->save();
            ASSERT_TRUE(done.ok()) << done.error().message;
        });
    }
    void deleteInBackground(const ObjectID& id) {
        inBackground([&](Context& context) {
            auto object = context.existingObject(id);
            ASSERT_TRUE(object.ok());
            context.deleteObject(object.value());
        });
    }
    std::size_t stored(const std::string& entity, Predicate predicate = Predicate::truePredicate()) {
        auto fresh = container->newPrivateContext("conflict_count_queue");
        std::size_t n = 0;
        fresh->performAndWait([&] {
            FetchRequest request(entity);
            request.predicate = std::move(predicate);
            auto counted = fresh->count(request);
            ASSERT_TRUE(counted.ok());
            n = counted.value();
        });
        return n;
    }

    std::shared_ptr<Context> background;
    SavedChanges saved;
};
}  // namespace

TEST_F(ConflictTest, APendingDeletionSurvivesAMergedUpdateOfTheObject) {
    ObjectID feedID = saveFeed("Doomed");
    main->performAndWait([&] {
        auto feed = main->existingObject(feedID);
        ASSERT_TRUE(feed.ok());
        main->deleteObject(feed.value());
    });
    inBackground([&](Context& context) { context.existingObject(feedID).value()->setString("name", "Renamed"); });
    main->performAndWait([&] {
        main->mergeChanges(saved.last);
        ASSERT_EQ(main->deletedObjects().size(), 1u);
        EXPECT_EQ(main->deletedObjects()[0]->objectID(), feedID);
        EXPECT_TRUE(main->hasChanges());
        ASSERT_TRUE(main->save().ok());
    });
    EXPECT_EQ(stored("Feed"), 0u);
}

TEST_F(ConflictTest, AMergeKeepsPendingChangesOfManyToManyRelations) {
    ObjectID tagID, articleID;
    main->performAndWait([&] {
        auto tag = main->insert("Tag");
        auto article = main->insert("Article");
        ASSERT_TRUE(main->save().ok());
        tagID = tag->objectID();
        articleID = article->objectID();
        article->add("tags", tag);  // only the join changes, on both sides
    });
    inBackground([&](Context& context) { context.existingObject(tagID).value()->setString("name", "news"); });
    main->performAndWait([&] {
        main->mergeChanges(saved.last);
        auto tag = main->existingObject(tagID).value();
        EXPECT_EQ(tag->string("name"), "news");
        EXPECT_EQ(tag->toManyIDs("articles"), std::vector<ObjectID>{articleID});
        ASSERT_TRUE(main->save().ok());
    });
    auto fresh = container->newPrivateContext("conflict_check_queue");
    fresh->performAndWait([&] { EXPECT_EQ(fresh->existingObject(tagID).value()->count("articles"), 1u); });
}

TEST_F(ConflictTest, AMergedDeletionWinsOverPendingChangesOfTheObject) {
    ObjectID feedID = saveFeed("Doomed");
    main->performAndWait([&] { main->existingObject(feedID).value()->setString("name", "Kept?"); });
    deleteInBackground(feedID);
    main->performAndWait([&] {
        main->mergeChanges(saved.last);
        EXPECT_FALSE(main->hasChanges());
        EXPECT_TRUE(main->updatedObjects().empty());
        EXPECT_FALSE(main->existingObject(feedID).ok());
        ASSERT_TRUE(main->save().ok());
    });
    EXPECT_EQ(stored("Feed"), 0u);
}

// Another context deletes what pending objects here point at. Whether this
// context merges that deletion first or saves without it, the delete rules
// of the deleted side apply and the save succeeds.
TEST_F(ConflictTest, PendingReferencesToObjectsDeletedElsewhereFollowTheDeleteRules) {
    for (bool mergeFirst : {true, false}) {
        SCOPED_TRACE(mergeFirst ? "merged first" : "saved without merging");
        ObjectID doomedFeed = saveFeed("Doomed"), keptFeed = saveFeed("Kept");
        ObjectID tagID, storedArticleID;
        main->performAndWait([&] {
            auto tag = main->insert("Tag");
            auto article = main->insert("Article");
            article->setToOne("feed", main->existingObject(keptFeed).value());
            ASSERT_TRUE(main->save().ok());
            tagID = tag->objectID();
            storedArticleID = article->objectID();
        });
        ObjectPtr fresh, stored;
        main->performAndWait([&] {
            auto doomed = main->existingObject(doomedFeed).value();
            // The feed owns its articles: this one goes with it.
            fresh = main->insert("Article");
            fresh->setString("title", "fresh");
            fresh->setToOne("feed", doomed);
            // Unread-in is not owning: the reference is cleared.
            stored = main->existingObject(storedArticleID).value();
            stored->setToOne("unreadInFeed", doomed);
            // A join row to a deleted tag is dropped.
            stored->add("tags", main->existingObject(tagID).value());
        });
        deleteInBackground(doomedFeed);
        deleteInBackground(tagID);
        main->performAndWait([&] {
            if (mergeFirst) {
                main->mergeChanges(saved.last);  // the tag
                ChangeSet feedGone;
                feedGone.deleted = {doomedFeed};
                main->mergeChanges(feedGone);
                EXPECT_TRUE(fresh->isDeleted());
                EXPECT_TRUE(main->insertedObjects().empty());
                EXPECT_EQ(stored->toOne("unreadInFeed"), nullptr);
                EXPECT_TRUE(stored->toManyIDs("tags").empty());
            }
            auto done = main->save();
            ASSERT_TRUE(done.ok()) << done.error().message;
            EXPECT_FALSE(main->hasChanges());
            EXPECT_TRUE(fresh->isDeleted());
            EXPECT_EQ(stored->toOne("unreadInFeed"), nullptr);
            EXPECT_EQ(stored->toOne("feed"), main->existingObject(keptFeed).value());
        });
        EXPECT_EQ(this->stored("Article", Predicate::equal("title", std::string("fresh"))), 0u);
        EXPECT_EQ(this->stored("Article", Predicate::notNil("unreadInFeed")), 0u);
        EXPECT_EQ(this->stored("Article"), 1u);
        EXPECT_EQ(this->stored("Tag"), 0u);
        // Clean slate for the next round.
        main->performAndWait([&] {
            main->deleteObject(main->existingObject(keptFeed).value());
            ASSERT_TRUE(main->save().ok());
        });
    }
}

// A second connection on the file (a tool, another container) writing at the
// moment this store saves or reads.
TEST_F(ConflictTest, AnotherConnectionsWritesAreWaitedForAndSeen) {
    saveFeed("First");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir.path() / "store.sqlite").string().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; INSERT INTO node(entity, name) VALUES('Feed', 'Other');", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    std::atomic<bool> saving = false;
    std::thread holder([&] {
        while (!saving) std::this_thread::yield();
        // Long enough for the save below to find the file locked.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    main->performAndWait([&] {
        main->insert("Feed")->setString("name", "Second");
        saving = true;
        auto done = main->save();
        EXPECT_TRUE(done.ok()) << done.error().message;
    });
    holder.join();
    sqlite3_close(other);
    EXPECT_EQ(stored("Feed"), 3u);
    main->performAndWait([&] {
        FetchRequest request("Feed");
        request.predicate = Predicate::equal("name", std::string("Other"));
        auto found = main->fetch(request);
        ASSERT_TRUE(found.ok());
        EXPECT_EQ(found->size(), 1u);
    });
}
