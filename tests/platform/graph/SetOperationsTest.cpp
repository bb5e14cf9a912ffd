// Set-based reads and writes (counts per key, limits per key, updates of all
// matching rows) and slim loads that leave large attributes in the store.
#include <atomic>
#include <map>

#include "GraphTestModel.h"
#include "platform/graph/FetchedResultsController.h"
#include "platform/graph/Store.h"

using namespace tallowmere::graph;
using namespace tallowmere::graph::test;

namespace {

struct Recorder : ContextObserver {
    std::vector<ChangeSet> changes;
    void contextDidChange(const ChangeSet& set) override { changes.push_back(set); }
};

class SetOperationsTest : public GraphTest {
protected:
    // Two feeds: "A" with articles 1..6 (dates 10..60, odd ones unread) and "B" with 7..8.
    void SetUp() override {
        GraphTest::SetUp();
        main->performAndWait([&] {
            auto a = main->insert("Feed");
            a->setString("name", "A");
            auto b = main->insert("Feed");
            b->setString("name", "B");
            for (int n = 1; n <= 8; ++n) {
                auto feed = n <= 6 ? a : b;
                auto article = main->insert("Article");
                article->setString("title", "article " + std::to_string(n));
                article->setString("body", std::string(2000, static_cast<char>('a' + n)));
                article->setDate("date", Date{n * 10.0});
                article->setToOne("feed", feed);
                if (n % 2 == 1) article->setToOne("unreadInFeed", feed);
                articles.push_back(article);
            }
            ASSERT_TRUE(main->save().ok());
            feedA = a->objectID();
            feedB = b->objectID();
            for (auto& article : articles) ids.push_back(article->objectID());
        });
    }
    std::vector<ObjectPtr> articles;
    std::vector<ObjectID> ids;
    ObjectID feedA, feedB;
};

TEST_F(SetOperationsTest, CountsByKeyAndLimitsPerKeyFollowTheRequest) {
    main->performAndWait([&] {
        FetchRequest request("Article");
        auto counts = main->countsByKey(request, "feed");
        ASSERT_TRUE(counts.ok()) << counts.error().message;
        std::map<ObjectID, std::size_t> byFeed(counts->begin(), counts->end());
        EXPECT_EQ(byFeed, (std::map<ObjectID, std::size_t>{{feedA, 6u}, {feedB, 2u}}));

        // The two oldest unread of A, the oldest of B, none of a feed not named.
        request.predicate = Predicate::notNil("unreadInFeed");
        request.sortDescriptors = {{"date", true, false}};
        auto limited = main->fetchObjectIDs(request, "feed", {{feedA, 2}, {feedB, 1}});
        ASSERT_TRUE(limited.ok()) << limited.error().message;
        EXPECT_EQ(*limited, (std::vector<ObjectID>{ids[0], ids[2], ids[6]}));
        auto onlyB = main->fetchObjectIDs(request, "feed", {{feedB, 5}});
        ASSERT_TRUE(onlyB.ok());
        EXPECT_EQ(*onlyB, (std::vector<ObjectID>{ids[6]}));

        // Pending changes of the entity are not in the store yet: refused.
        articles[1]->setString("title", "changed");
        EXPECT_FALSE(main->countsByKey(request, "feed").ok());
        EXPECT_FALSE(main->fetchObjectIDs(request, "feed", {{feedA, 1}}).ok());
        main->rollback();
    });
}

TEST_F(SetOperationsTest, UpdateAllWritesTheStoreAndReportsAsASaveWould) {
    Recorder here;
    main->addObserver(&here);
    auto background = container->newPrivateContext("test_background_queue");
    // The background context holds feed A's unread set and one article loaded.
    ObjectPtr backgroundArticle, backgroundFeed;
    background->performAndWait([&] {
        backgroundFeed = background->existingObject(feedA).value();
        EXPECT_EQ(backgroundFeed->toManyIDs("unreadArticles").size(), 3u);
        backgroundArticle = background->existingObject(ids[0]).value();
        EXPECT_FALSE(isNull(backgroundArticle->value("unreadInFeed")));
    });
    std::atomic<int> merged = 0;
    struct Watch : ContextObserver {
        std::atomic<int>* merged;
        void contextDidChange(const ChangeSet&) override { ++*merged; }
    } watch;
    watch.merged = &merged;
    background->performAndWait([&] { background->addObserver(&watch); });

    const Date now{1000.0};
    main->performAndWait([&] {
        FetchRequest request("Article");
        request.predicate = Predicate::equal("feed", feedA);
        auto marked = main->updateAll(request, {{"unreadInFeed", Value{}}, {"readDate", now}});
        ASSERT_TRUE(marked.ok()) << marked.error().message;
        // Every article of A changes (the read ones take the date), B's do not.
        EXPECT_EQ(marked->size(), 6u);
        EXPECT_TRUE(isNull(articles[0]->value("unreadInFeed")));
        EXPECT_EQ(articles[0]->date("readDate"), now);
        EXPECT_EQ(articles[6]->date("readDate"), std::nullopt);
        EXPECT_FALSE(isNull(articles[6]->value("unreadInFeed")));
        EXPECT_FALSE(main->hasChanges());
        // A second run finds nothing left to change.
        auto again = main->updateAll(request, {{"unreadInFeed", Value{}}, {"readDate", now}});
        ASSERT_TRUE(again.ok());
        EXPECT_TRUE(again->empty());
    });
    ASSERT_EQ(here.changes.size(), 1u);
    const ChangeSet& set = here.changes.front();
    ASSERT_EQ(set.updated.size(), 7u);  // six articles and feed A, whose unread set changed
    EXPECT_EQ(set.updated.back(), feedA);
    EXPECT_TRUE(set.changedProperties.back().empty());
    EXPECT_EQ(set.changedProperties.front().size(), 2u);
    main->removeObserver(&here);

    // The other context takes the change in as it takes in a save.
    for (int i = 0; i < 1000 && merged.load() == 0; ++i) background->performAndWait([] {});
    background->performAndWait([&] {
        EXPECT_EQ(merged.load(), 1);
        EXPECT_TRUE(isNull(backgroundArticle->value("unreadInFeed")));
        EXPECT_TRUE(backgroundFeed->toManyIDs("unreadArticles").empty());
        background->removeObserver(&watch);
    });

    main->performAndWait([&] {
        // Refused while changes are pending; nothing written.
        articles[7]->setString("title", "pending");
        FetchRequest request("Article");
        EXPECT_FALSE(main->updateAll(request, {{"readDate", now}}).ok());
        main->rollback();
        EXPECT_EQ(articles[7]->date("readDate"), std::nullopt);
    });
}

TEST_F(SetOperationsTest, ListsLoadLargeAttributesOnlyWhenUsed) {
    auto reader = container->newPrivateContext("test_reader_queue");
    reader->performAndWait([&] {
        FetchRequest request("Article");
        request.sortDescriptors = {{"date", true, false}};
        request.batchSize = 4;
        FetchedResultsController controller(reader, request);
        ASSERT_TRUE(controller.performFetch().ok());
        ObjectPtr first = controller.object({0, 5});
        ASSERT_NE(first, nullptr);
        EXPECT_FALSE(first->isFault());
        EXPECT_EQ(first->string("title"), "article 6");
        // Not read with the list: a change saved meanwhile elsewhere is what
        // its first use reads.
        auto writer = container->newPrivateContext("test_writer_queue");
        writer->performAndWait([&] {
            writer->existingObject(ids[5]).value()->setString("body", "rewritten");
            ASSERT_TRUE(writer->save().ok());
        });
        EXPECT_EQ(first->string("body"), "rewritten");
        // A change of it saves and reads back as any other.
        ObjectPtr second = controller.object({0, 4});
        second->setString("body", "short");
        ASSERT_TRUE(reader->save().ok());
        EXPECT_EQ(second->string("body"), "short");
        // Whole objects from a fetch, as before.
        auto fetched = reader->fetch(request);
        ASSERT_TRUE(fetched.ok());
        EXPECT_EQ(fetched->at(0)->string("body"), std::string(2000, 'b'));
    });
    main->performAndWait([&] {
        main->refresh(articles[4], false);
        EXPECT_EQ(articles[4]->string("body"), "short");
    });
}

// Large attributes sit in a table of their own; files that kept them in the
// row get them moved there when opened, and both kinds filter, sort and
// delete alike.
TEST_F(SetOperationsTest, LargeAttributesMoveOutOfOlderFilesAndStillFilterAndDelete) {
    articles.clear();
    {
        std::lock_guard lock(container->store().mutex());
        ASSERT_TRUE(container->store()
                        .db()
                        .exec("ALTER TABLE article ADD COLUMN body TEXT; "
                              "UPDATE article SET body = (SELECT body FROM article_large l WHERE l.id = article.id); "
                              "DROP TABLE article_large")
                        .ok());
    }
    main.reset();
    container.reset();
    container = open();
    main = container->mainContext();
    auto columnCount = [&](const std::string& table, const std::string& column) {
        std::lock_guard lock(container->store().mutex());
        Statement* query = container->store().db().prepare("SELECT COUNT(*) FROM pragma_table_info(?1) WHERE name = ?2");
        query->bind(1, table).bind(2, column);
        const std::int64_t found = query->step() ? query->integer(0) : -1;
        query->reset();
        return found;
    };
    EXPECT_EQ(columnCount("article", "body"), 0);
    EXPECT_EQ(columnCount("article_large", "body"), 1);

    main->performAndWait([&] {
        FetchRequest request("Article");
        request.predicate = Predicate::anyOf({Predicate::compare("body", Comparison::beginsWith, std::string("ccc")),
                                              Predicate::equal("body", std::string(2000, 'h'))});
        request.sortDescriptors = {{"body", false, false}};
        auto found = main->fetch(request);
        ASSERT_TRUE(found.ok()) << found.error().message;
        ASSERT_EQ(found->size(), 2u);
        EXPECT_EQ(found->at(0)->string("title"), "article 7");
        EXPECT_EQ(found->at(1)->string("title"), "article 2");
        // A new object without a large value reads as empty.
        auto bare = main->insert("Article");
        bare->setString("title", "bare");
        ASSERT_TRUE(main->save().ok());
        main->refresh(bare, false);
        EXPECT_EQ(bare->string("body"), std::nullopt);
        // Deleting a feed takes its articles' large values along.
        FetchRequest feeds("Feed");
        feeds.predicate = Predicate::equal("name", std::string("A"));
        main->deleteObject(main->fetch(feeds)->at(0));
        ASSERT_TRUE(main->save().ok());
    });
    std::lock_guard lock(container->store().mutex());
    Statement* left = container->store().db().prepare("SELECT COUNT(*) FROM article_large");
    ASSERT_TRUE(left->step());
    EXPECT_EQ(left->integer(0), 2);
    left->reset();
}

}  // namespace

namespace {

// A localized sort through a relation orders stored rows as the context
// orders its pending objects: ties, absent texts and absent objects alike.
TEST_F(GraphTest, SortByARelatedTextMatchesTheInMemoryOrder) {
    FetchRequest request("Article");
    request.sortDescriptors = {{"feed.sortName", true, true}, {"date", false, false}};
    std::vector<ObjectID> pendingOrder;
    main->performAndWait([&] {
        const std::vector<std::optional<std::string>> names = {"item 10", "item 2", "Item 2", std::nullopt, "alpha", "item 2"};
        std::vector<ObjectPtr> feeds;
        for (const auto& name : names) {
            auto feed = main->insert("Feed");
            feed->setString("sortName", name);
            feeds.push_back(feed);
        }
        for (int n = 0; n < 24; ++n) {
            auto article = main->insert("Article");
            article->setDate("date", Date{static_cast<double>((n * 7) % 24)});
            if (n % 7 != 6) article->setToOne("feed", feeds[static_cast<std::size_t>(n) % feeds.size()]);
        }
        auto pending = main->fetch(request);
        ASSERT_TRUE(pending.ok());
        ASSERT_TRUE(main->save().ok());
        for (const auto& object : pending->all()) pendingOrder.push_back(object->objectID());
        auto stored = main->fetchObjectIDs(request);
        ASSERT_TRUE(stored.ok()) << stored.error().message;
        ASSERT_EQ(stored->size(), 24u);
        // Dates differ, so no tie is left to the IDs.
        EXPECT_EQ(*stored, pendingOrder);
    });
}

}  // namespace
