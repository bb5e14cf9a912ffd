#include <map>
#include <string>
#include <vector>

#include "NodesSourceTestSupport.h"

namespace tallowmere {
namespace {

using graph::ObjectID;

class NodesSourceOrdering : public test::NodesSourceTest {
protected:
    Folder folderAt(const std::string& name, std::int64_t position) {
        Folder folder = Folder::insert(main());
        folder.setName(name);
        folder.setSortValue(position);
        folder.updateSortName();
        return folder;
    }
    Feed feedAt(const std::string& name, std::int64_t position, std::optional<Folder> folder = std::nullopt) {
        Feed feed = Feed::insert(main());
        feed.setName(name);
        feed.setUrl("https://" + name + ".example/feed");
        feed.setSortValue(position);
        feed.setFolder(folder);
        feed.updateSortName();
        return feed;
    }
    void clearStore() {
        for (const auto& object : main().fetch(graph::FetchRequest(Node::entityName)).value().all())
            main().deleteObject(object);
        commit();
    }
    // Saves the main context so the tree shows the nodes made in it.
    void commit() {
        ASSERT_TRUE(main().save().ok());
        settle();
    }
    std::int64_t position(const StoredObject& node) { return Node(node.object()).sortValue(); }
    std::vector<std::string> topLevelNames() {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < source->numberOfChildren(std::nullopt); ++i)
            names.push_back(nameOf(source->child(i, std::nullopt)));
        return names;
    }
    std::vector<std::string> childNames(const Folder& folder) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < source->numberOfChildren(folder.objectID()); ++i)
            names.push_back(nameOf(source->child(i, folder.objectID())));
        return names;
    }
};

TEST_F(NodesSourceOrdering, PassRanksEachGroupDensely) {
    struct Case {
        const char* what;
        std::vector<std::int64_t> topLevel;
        std::vector<std::vector<std::int64_t>> folders;  // the feeds of each folder
        std::vector<std::int64_t> expectedTopLevel;
        std::vector<std::vector<std::int64_t>> expectedFolders;
    };
    const std::vector<Case> cases = {
        {"equal positions stay equal", {5, 5, 9}, {}, {1, 1, 2}, {}},
        {"already dense", {1, 2, 3}, {}, {1, 2, 3}, {}},
        {"zero and gaps", {0, 4, 4, 100}, {}, {1, 2, 2, 3}, {}},
        {"folders numbered alike keep their numbers", {1, 2}, {{1, 2}, {1, 2}}, {1, 2}, {{1, 2}, {1, 2}}},
        {"one sequence across folders", {1, 2}, {{1, 2}, {3}}, {1, 2}, {{1, 2}, {3}}},
        {"in-folder gaps close", {7}, {{10, 20}, {30}}, {1}, {{1, 2}, {3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearStore();
        std::vector<Node> topLevel;
        std::vector<std::vector<Feed>> inFolders;
        for (std::size_t i = 0; i < c.topLevel.size(); ++i) {
            // Folders first, one per list of feeds; then top-level feeds.
            if (i < c.folders.size()) {
                Folder folder = folderAt("folder" + std::to_string(i), c.topLevel[i]);
                topLevel.push_back(folder);
                inFolders.emplace_back();
                for (std::size_t k = 0; k < c.folders[i].size(); ++k)
                    inFolders.back().push_back(
                        feedAt("f" + std::to_string(i) + "_" + std::to_string(k), c.folders[i][k], folder));
            } else {
                topLevel.push_back(feedAt("top" + std::to_string(i), c.topLevel[i]));
            }
        }
        commit();
        source->normalizeSortValues();
        for (std::size_t i = 0; i < topLevel.size(); ++i) EXPECT_EQ(position(topLevel[i]), c.expectedTopLevel[i]) << i;
        for (std::size_t i = 0; i < inFolders.size(); ++i)
            for (std::size_t k = 0; k < inFolders[i].size(); ++k)
                EXPECT_EQ(position(inFolders[i][k]), c.expectedFolders[i][k]) << i << "/" << k;
        // The sort names lead with the new positions; a folder's feeds lead with the folder's.
        for (const Node& node : topLevel)
            EXPECT_EQ(node.sortName()->rfind(std::to_string(position(node)) + " ", 0), 0u) << *node.sortName();
        for (std::size_t i = 0; i < inFolders.size(); ++i)
            for (const Feed& feed : inFolders[i])
                EXPECT_EQ(feed.sortName()->rfind(*topLevel[i].sortName() + " ", 0), 0u);
        EXPECT_TRUE(main().hasChanges());  // the pass does not save
    }
}

TEST_F(NodesSourceOrdering, PositionsOfAddedFeedsAreSavedWithThem) {
    // One feed, then a batch of two: the store holds the renumbered
    // positions, and the main context is left with nothing to save.
    source->addFeed("b", "https://b.example/feed", std::nullopt, std::nullopt, false, NewsletterType::none);
    EXPECT_FALSE(main().hasChanges());
    source->beginAddingFeeds();
    for (const char* name : {"c", "a"})
        source->addFeed(name, std::string("https://") + name + ".example/feed", std::nullopt, std::nullopt, false,
                        NewsletterType::none);
    source->endAddingFeeds();
    settle();
    EXPECT_FALSE(main().hasChanges());
    // The batch's feeds had no position yet and come first, in name order.
    EXPECT_EQ(topLevelNames(), (std::vector<std::string>{"a", "c", "b"}));
    // Read in the main context, which has nothing unsaved: the store's values.
    for (const Feed& feed : source->allFeeds()) {
        Node stored(main().existingObject(feed.objectID()).value());
        const std::string name = *stored.name();
        EXPECT_EQ(stored.sortValue(), name == "b" ? 2 : 1) << name;
        EXPECT_EQ(stored.sortName()->rfind(std::to_string(stored.sortValue()) + " " + name + " ", 0), 0u) << name;
    }
}

TEST_F(NodesSourceOrdering, OpeningKeepsSortNamesThatFitTheirPositions) {
    Folder f = folderAt("f", 1);
    feedAt("x", 1, f);
    Feed loose = feedAt("loose", 2);
    commit();
    source->normalizeSortValues();
    ASSERT_TRUE(main().save().ok());
    const auto before = loose.sortName();

    // Nothing out of place: a new source over the store writes nothing.
    auto reopened = NodesSource::make(controller);
    EXPECT_FALSE(main().hasChanges());
    EXPECT_EQ(loose.sortName(), before);

    // A gap in the positions: renumbered and renamed as by the pass.
    loose.setSortValue(5);
    ASSERT_TRUE(main().save().ok());
    reopened = NodesSource::make(controller);
    EXPECT_EQ(position(loose), 2);
    EXPECT_TRUE(main().hasChanges());
    EXPECT_EQ(loose.sortName()->rfind("2 loose ", 0), 0u);
}

TEST_F(NodesSourceOrdering, DroppingBetweenTwoNodes) {
    Feed a = feedAt("a", 1), b = feedAt("b", 2), c = feedAt("c", 3);
    commit();
    ASSERT_EQ(topLevelNames(), (std::vector<std::string>{"a", "b", "c"}));

    ASSERT_TRUE(source->moveNode(c.objectID(), 1, std::nullopt));
    EXPECT_EQ(position(a), 1);
    EXPECT_EQ(position(c), 2);
    EXPECT_EQ(position(b), 3);
    EXPECT_FALSE(main().hasChanges());  // saved
    EXPECT_EQ(topLevelNames(), (std::vector<std::string>{"a", "c", "b"}));
}

TEST_F(NodesSourceOrdering, DroppingFirstPushesEverySiblingUp) {
    Feed a = feedAt("a", 1), b = feedAt("b", 2), c = feedAt("c", 3);
    commit();
    ASSERT_TRUE(source->moveNode(c.objectID(), 0, std::nullopt));
    EXPECT_EQ(topLevelNames(), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_EQ(position(c), 1);
    EXPECT_EQ(position(a), 2);
    EXPECT_EQ(position(b), 3);
}

TEST_F(NodesSourceOrdering, MovingATopLevelFeedIntoAFolder) {
    Folder f = folderAt("f", 1);
    Feed x = feedAt("x", 1, f), y = feedAt("y", 2, f);
    Feed loose = feedAt("loose", 2);
    commit();
    ASSERT_EQ(childNames(f), (std::vector<std::string>{"x", "y"}));

    ASSERT_TRUE(source->moveNode(loose.objectID(), 0, f.objectID()));
    EXPECT_EQ(loose.folder(), f);
    EXPECT_EQ(childNames(f), (std::vector<std::string>{"loose", "x", "y"}));
    EXPECT_EQ(topLevelNames(), (std::vector<std::string>{"f"}));

    // And out again, behind the folder.
    ASSERT_TRUE(source->moveNode(y.objectID(), 1, std::nullopt));
    EXPECT_EQ(y.folder(), std::nullopt);
    EXPECT_EQ(topLevelNames(), (std::vector<std::string>{"f", "y"}));
    EXPECT_EQ(childNames(f), (std::vector<std::string>{"loose", "x"}));
}

TEST_F(NodesSourceOrdering, ARefusedMoveLeavesNothingPending) {
    Folder f = folderAt("f", 1), g = folderAt("g", 2);
    Feed x = feedAt("x", 1, f);
    Feed loose = feedAt("loose", 3);
    commit();
    source->normalizeSortValues();
    ASSERT_TRUE(main().save().ok());
    const auto before = loose.sortName();

    // The drop position has no node before it (f has one feed).
    EXPECT_FALSE(source->moveNode(loose.objectID(), 5, f.objectID()));
    EXPECT_FALSE(main().hasChanges());
    EXPECT_EQ(loose.folder(), std::nullopt);
    EXPECT_EQ(f.feedCount(), 1u);
    EXPECT_EQ(loose.sortName(), before);

    EXPECT_FALSE(source->moveNode(loose.objectID(), 7, std::nullopt));  // beyond the top level
    EXPECT_FALSE(source->moveNode(g.objectID(), 0, f.objectID()));       // a folder into a folder
    EXPECT_FALSE(source->moveNode(loose.objectID(), 0, x.objectID()));   // no folder
    EXPECT_FALSE(source->moveNode(ObjectID(), 0, std::nullopt));         // no node
    EXPECT_FALSE(main().hasChanges());
    EXPECT_EQ(childNames(f), (std::vector<std::string>{"x"}));
}

TEST_F(NodesSourceOrdering, ResetFallsBackToNameOrder) {
    Folder m = folderAt("m", 1);
    Feed z = feedAt("z", 1, m), a = feedAt("a", 2, m);
    Feed b = feedAt("b", 2), c = feedAt("c", 3);
    Folder d = folderAt("d", 4);
    commit();
    ASSERT_EQ(topLevelNames(), (std::vector<std::string>{"m", "b", "c", "d"}));

    auto recorder = std::make_shared<test::NodesSourceTest::CountingDelegate>();
    source->setDelegate(recorder);
    source->resetSorting();
    EXPECT_EQ(recorder->batches, 0);  // no per-node callbacks for the mass update
    for (const Node& node : std::vector<Node>{m, z, a, b, c, d}) EXPECT_EQ(position(node), 1);
    EXPECT_FALSE(main().hasChanges());
    EXPECT_EQ(topLevelNames(), (std::vector<std::string>{"b", "c", "d", "m"}));
    EXPECT_EQ(childNames(m), (std::vector<std::string>{"a", "z"}));

    // The delegate is back for later changes.
    ASSERT_TRUE(source->moveNode(d.objectID(), 0, std::nullopt));
    EXPECT_GT(recorder->batches, 0);
}

}  // namespace
}  // namespace tallowmere
