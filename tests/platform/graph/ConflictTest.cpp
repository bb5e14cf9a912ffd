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
        background->addObserver(&saved);
    }
    void TearDown() override {
        background->removeObserver(&saved);
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
