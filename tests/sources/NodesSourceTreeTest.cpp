#include <algorithm>
#include <string>
#include <vector>

#include "NodesSourceTestSupport.h"
#include "sources/NodesSourceOutlineDelegate.h"
#include "sources/NodesSourceTableDelegate.h"

namespace tallowmere {
namespace {

using graph::IndexPath;
using graph::ObjectID;
using graph::ResultsChange;

struct ItemChange {
    std::optional<std::size_t> index;
    std::optional<ObjectID> parent;
    ResultsChange type;
    std::optional<std::size_t> newIndex;
    std::optional<ObjectID> newParent;
    ObjectID changed;  // not passed to the delegate: found by the test through its coordinates
};

class OutlineRecorder : public NodesSourceDelegate, public NodesSourceOutlineDelegate {
public:
    void nodesSourceWillChangeContent() override { events.push_back("will"); }
    void nodesSourceDidChangeContent() override { events.push_back("did"); }
    void nodesSourceDidChangeItem(std::optional<std::size_t> index, std::optional<ObjectID> parent, ResultsChange type,
                                  std::optional<std::size_t> newIndex, std::optional<ObjectID> newParent) override {
        events.push_back("item");
        items.push_back({index, parent, type, newIndex, newParent, {}});
    }
    std::vector<std::string> events;
    std::vector<ItemChange> items;
};

class TableRecorder : public NodesSourceDelegate, public NodesSourceTableDelegate, public NodesSourceOutlineDelegate {
public:
    void nodesSourceWillChangeContent() override {}
    void nodesSourceDidChangeContent() override {}
    void nodesSourceDidChangeRow(std::optional<IndexPath> from, ResultsChange type, std::optional<IndexPath> to) override {
        rows.push_back({from, type, to});
    }
    void nodesSourceDidChangeSection(std::size_t section, ResultsChange type) override {
        sections.emplace_back(section, type);
    }
    void nodesSourceDidChangeItem(std::optional<std::size_t>, std::optional<ObjectID>, ResultsChange,
                                  std::optional<std::size_t>, std::optional<ObjectID>) override {
        ++outlineCalls;
    }
    struct Row {
        std::optional<IndexPath> from;
        ResultsChange type;
        std::optional<IndexPath> to;
    };
    std::vector<Row> rows;
    std::vector<std::pair<std::size_t, ResultsChange>> sections;
    int outlineCalls = 0;
};

class NodesSourceTree : public test::NodesSourceTest {
protected:
    // "name[child,child]" per top-level node, walked as the sidebar does.
    std::vector<std::string> outline() {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < source->numberOfChildren(std::nullopt); ++i) {
            ObjectID top = source->child(i, std::nullopt);
            std::string line = nameOf(top) + "[";
            for (std::size_t k = 0; k < source->numberOfChildren(top); ++k)
                line += (k ? "," : "") + nameOf(source->child(k, top));
            lines.push_back(line + "]");
        }
        return lines;
    }

    // News[A,B], Empty[], Z[] in name order.
    void makeTree() {
        news = addFolder("News");
        addFeed("B", "https://b.example/feed", news);
        addFeed("A", "https://a.example/feed", news);
        addFeed("Z", "https://z.example/feed");
        addFolder("Empty");
        saveAndWait();
        source->resetSorting();
        settle();
    }

    std::optional<Folder> news;
};

TEST_F(NodesSourceTree, EmptyStoreShowsNothing) {
    EXPECT_EQ(source->numberOfChildren(std::nullopt), 0u);
    EXPECT_EQ(source->numberOfSections(), 0u);
    EXPECT_EQ(source->node(IndexPath{0, 0}), std::nullopt);
    EXPECT_TRUE(source->allFeeds().empty());
    EXPECT_TRUE(source->allFolderNames().empty());
}

TEST_F(NodesSourceTree, SectionsHoldATopLevelNodeAndAFoldersFeeds) {
    makeTree();
    EXPECT_EQ(outline(), (std::vector<std::string>{"Empty[]", "News[A,B]", "Z[]"}));

    // One section per top-level node; a folder's section holds its feeds behind it.
    ASSERT_EQ(source->numberOfSections(), 3u);
    EXPECT_EQ(source->numberOfNodes(0), 1u);
    EXPECT_EQ(source->numberOfNodes(1), 3u);
    EXPECT_EQ(source->numberOfNodes(2), 1u);
    EXPECT_EQ(source->numberOfNodes(7), 0u);
    EXPECT_EQ(source->node(IndexPath{1, 2})->name(), "B");
    EXPECT_EQ(source->node(IndexPath{1, 3}), std::nullopt);  // item equal to the section's count
    EXPECT_EQ(source->indexPath(inMain(*news)), (IndexPath{1, 0}));

    // A feed and an empty folder have no children.
    EXPECT_EQ(source->numberOfChildren(source->child(2, std::nullopt)), 0u);
    EXPECT_EQ(source->numberOfChildren(source->child(0, std::nullopt)), 0u);
    // Out of range: an invalid ID rather than a crash.
    EXPECT_FALSE(source->child(3, std::nullopt).isValid());
    EXPECT_FALSE(source->child(2, news->objectID()).isValid());

    std::vector<std::string> feedNames;
    for (const Feed& feed : source->allFeeds()) {
        background().performAndWait([&] { feedNames.push_back(*feed.name()); });
        EXPECT_EQ(feed.context(), &background());
    }
    EXPECT_EQ(feedNames, (std::vector<std::string>{"A", "B", "Z"}));  // sort-name order: News's feeds first
    EXPECT_EQ(source->allFolderNames(), (std::vector<std::string>{"Empty", "News"}));
}

TEST_F(NodesSourceTree, EveryRefreshOfAllFeedsIsObserved) {
    int refreshes = 0;
    auto token = source->observeAllFeeds([&] { ++refreshes; });
    addFeed("A", "https://a.example/feed");
    EXPECT_EQ(refreshes, 1);
    source->reload();  // nothing changed, still told
    EXPECT_EQ(refreshes, 2);
    token.cancel();
    source->reload();
    EXPECT_EQ(refreshes, 2);
}

TEST_F(NodesSourceTree, ForwardsChangesInOutlineCoordinates) {
    makeTree();
    auto recorder = std::make_shared<OutlineRecorder>();
    source->setDelegate(recorder);

    // A new top-level feed: an insert at its section, at the top level.
    addFeed("M", "https://m.example/feed");
    saveAndWait();
    auto inserted = std::find_if(recorder->items.begin(), recorder->items.end(),
                                 [](const ItemChange& c) { return c.type == ResultsChange::insert; });
    ASSERT_NE(inserted, recorder->items.end());
    EXPECT_EQ(inserted->index, std::nullopt);
    EXPECT_EQ(inserted->parent, std::nullopt);
    ASSERT_TRUE(inserted->newIndex);
    EXPECT_EQ(nameOf(source->child(*inserted->newIndex, std::nullopt)), "M");
    EXPECT_EQ(inserted->newParent, std::nullopt);
    EXPECT_EQ(recorder->events.front(), "will");
    EXPECT_EQ(recorder->events.back(), "did");

    // A feed dropped from the top level into News at its first place: a move
    // from (its section, nothing) to (0, News).
    Node z = inMain(*source->feed(*URL::parse("https://z.example/feed")));
    const auto zPath = source->indexPath(z);
    ASSERT_TRUE(zPath);
    recorder->items.clear();
    ASSERT_TRUE(source->moveNode(z.objectID(), 0, news->objectID()));
    settle();
    auto movedIn = std::find_if(recorder->items.begin(), recorder->items.end(), [&](const ItemChange& c) {
        return c.type == ResultsChange::move && c.index == zPath->section && !c.parent;
    });
    ASSERT_NE(movedIn, recorder->items.end());
    EXPECT_EQ(movedIn->newIndex, 0u);
    EXPECT_EQ(movedIn->newParent, news->objectID());
    EXPECT_EQ(source->child(0, news->objectID()), z.objectID());
}

TEST_F(NodesSourceTree, DeletingAFolderReportsOnlyTheFolder) {
    makeTree();
    auto recorder = std::make_shared<OutlineRecorder>();
    source->setDelegate(recorder);
    wait([&](NodesSource::Completion done) { source->deleteNodes(inMain(*news), std::move(done)); });

    ASSERT_EQ(recorder->items.size(), 1u);  // News's two feeds are not reported
    EXPECT_EQ(recorder->items[0].type, ResultsChange::remove);
    EXPECT_EQ(recorder->items[0].index, 1u);
    EXPECT_EQ(recorder->items[0].parent, std::nullopt);
    EXPECT_EQ(outline(), (std::vector<std::string>{"Empty[]", "Z[]"}));
    EXPECT_EQ(source->allFolderNames(), (std::vector<std::string>{"Empty"}));
    EXPECT_EQ(source->allFeeds().size(), 1u);
}

TEST_F(NodesSourceTree, AChangeInASectionThatIsGoneIsDropped) {
    // Z[] first, then Y[C]: deleting Z and C in one save leaves one section,
    // so C's old place (section 1) no longer exists.
    addFeed("Z", "https://z.example/feed");
    auto y = addFolder("Y");
    addFeed("C", "https://c.example/feed", y);
    saveAndWait();
    source->resetSorting();
    settle();
    ASSERT_EQ(outline(), (std::vector<std::string>{"Y[C]", "Z[]"}));
    // Name order puts Y first; swap so that Y's section is the last.
    ASSERT_TRUE(source->moveNode(source->child(1, std::nullopt), 0, std::nullopt));
    settle();
    ASSERT_EQ(outline(), (std::vector<std::string>{"Z[]", "Y[C]"}));

    auto recorder = std::make_shared<OutlineRecorder>();
    source->setDelegate(recorder);
    main().performAndWait([&] {
        main().deleteObject(main().object(source->child(0, std::nullopt)));
        main().deleteObject(main().object(source->child(0, y.objectID())));
        (void)main().save();
    });
    settle();
    // Z's removal and Y's change (it lost C, its section moved up); C's
    // removal (old place section 1, item 1) is dropped.
    ASSERT_EQ(recorder->items.size(), 2u);
    EXPECT_EQ(recorder->items[0].type, ResultsChange::remove);
    EXPECT_EQ(recorder->items[0].index, 0u);
    EXPECT_EQ(recorder->items[1].type, ResultsChange::update);
    EXPECT_EQ(recorder->items[1].index, 1u);
    EXPECT_EQ(recorder->items[1].newIndex, 0u);
    EXPECT_EQ(recorder->items[1].newParent, std::nullopt);
}

TEST_F(NodesSourceTree, ATableDelegateGetsTheControllersRowsUnchanged) {
    makeTree();
    auto recorder = std::make_shared<TableRecorder>();
    source->setDelegate(recorder);
    addFeed("M", "https://m.example/feed");
    saveAndWait();
    ASSERT_FALSE(recorder->rows.empty());
    EXPECT_EQ(recorder->outlineCalls, 0);  // the table form is preferred
    EXPECT_FALSE(recorder->sections.empty());
    auto path = source->indexPath(inMain(*source->feed(*URL::parse("https://m.example/feed"))));
    bool found = false;
    for (const auto& row : recorder->rows) found = found || (row.type == ResultsChange::insert && row.to == path);
    EXPECT_TRUE(found);
}

TEST_F(NodesSourceTree, ADelegateThatIsGoneIsNotCalled) {
    makeTree();
    {
        auto recorder = std::make_shared<OutlineRecorder>();
        source->setDelegate(recorder);
    }
    EXPECT_EQ(source->delegate(), nullptr);
    addFeed("M", "https://m.example/feed");
    saveAndWait();  // nothing to crash on
}

}  // namespace
}  // namespace tallowmere
