#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "GraphTestModel.h"
#include "platform/graph/FetchedResultsController.h"

using namespace tallowmere::graph;
using namespace tallowmere::graph::test;

namespace {
std::string text(const IndexPath& p) { return std::to_string(p.section) + "." + std::to_string(p.item); }

// Records the reports and replays them the way a table view applies a batch:
// removals (and move sources) in old coordinates, insertions (and move
// destinations) in new ones. The replayed table must equal the controller.
class Recorder : public FetchedResultsDelegate {
public:
    explicit Recorder(FetchedResultsController& controller) : controller_(controller) { snapshot(); }

    std::vector<std::string> log;
    int batches = 0;

    void controllerWillChangeContent(FetchedResultsController&) override {
        log.push_back("will");
        sectionRemovals_.clear();
        sectionInserts_.clear();
        removals_.clear();
        inserts_.clear();
    }
    void controllerDidChangeSection(FetchedResultsController&, std::size_t index, ResultsChange type) override {
        log.push_back(std::string(type == ResultsChange::insert ? "section insert " : "section remove ") + std::to_string(index));
        (type == ResultsChange::insert ? sectionInserts_ : sectionRemovals_).push_back(index);
    }
    void controllerDidChangeObject(FetchedResultsController&, const ObjectID& id, std::optional<IndexPath> from, ResultsChange type,
                                   std::optional<IndexPath> to) override {
        switch (type) {
            case ResultsChange::insert: log.push_back("insert " + text(*to)); break;
            case ResultsChange::remove: log.push_back("remove " + text(*from)); break;
            case ResultsChange::move: log.push_back("move " + text(*from) + ">" + text(*to)); break;
            case ResultsChange::update: log.push_back("update " + text(*from) + ">" + text(*to)); break;
        }
        if (type == ResultsChange::remove || type == ResultsChange::move) removals_.push_back(*from);
        if (type == ResultsChange::insert || type == ResultsChange::move) inserts_.push_back({*to, id});
        if (type == ResultsChange::update) {
            EXPECT_EQ(table_[from->section][from->item], id) << "update names the old row";
        }
    }
    void controllerDidChangeContent(FetchedResultsController&) override {
        log.push_back("did");
        ++batches;
        replay();
        EXPECT_EQ(table_, current()) << "replayed changes differ from the controller's list";
    }

    void snapshot() { table_ = current(); }
    std::vector<std::string> take() {
        auto out = std::move(log);
        log.clear();
        return out;
    }

private:
    using Table = std::vector<std::vector<ObjectID>>;
    Table current() const {
        Table t;
        for (std::size_t s = 0; s < controller_.numberOfSections(); ++s) {
            t.emplace_back();
            for (std::size_t i = 0; i < controller_.numberOfObjects(s); ++i) t.back().push_back(controller_.objectID({s, i}));
        }
        return t;
    }
    void replay() {
        std::sort(removals_.begin(), removals_.end(), [](auto& a, auto& b) {
            return a.section != b.section ? a.section > b.section : a.item > b.item;
        });
        for (const auto& p : removals_) table_[p.section].erase(table_[p.section].begin() + static_cast<long>(p.item));
        std::sort(sectionRemovals_.rbegin(), sectionRemovals_.rend());
        for (auto s : sectionRemovals_) table_.erase(table_.begin() + static_cast<long>(s));
        std::sort(sectionInserts_.begin(), sectionInserts_.end());
        for (auto s : sectionInserts_) table_.insert(table_.begin() + static_cast<long>(s), std::vector<ObjectID>());
        std::sort(inserts_.begin(), inserts_.end(), [](auto& a, auto& b) {
            return a.first.section != b.first.section ? a.first.section < b.first.section : a.first.item < b.first.item;
        });
        for (const auto& [p, id] : inserts_) table_[p.section].insert(table_[p.section].begin() + static_cast<long>(p.item), id);
    }

    FetchedResultsController& controller_;
    Table table_;
    std::vector<std::size_t> sectionRemovals_, sectionInserts_;
    std::vector<IndexPath> removals_;
    std::vector<std::pair<IndexPath, ObjectID>> inserts_;
};

class ControllerTest : public GraphTest {
protected:
    void SetUp() override {
        GraphTest::SetUp();
        background = container->newPrivateContext("test_background_queue");
    }
    // Runs a change on the background context, saves it and waits until the
    // main context has merged it.
    void inBackground(const std::function<void(Context&)>& change, Recorder& recorder) {
        int before = recorder.batches;
        bool merged = false;
        struct Watch : ContextObserver {
            bool* flag;
            void contextDidChange(const ChangeSet&) override { *flag = true; }
        } watch;
        watch.flag = &merged;
        main->addObserver(&watch);
        background->performAndWait([&] {
            change(*background);
            ASSERT_TRUE(background->save().ok());
        });
        ASSERT_TRUE(runMainUntil([&] { return merged; }));
        main->removeObserver(&watch);
        (void)before;
    }
    struct SavedFolder {
        ObjectID folder, inside;
    };
    // Saves folder "1 news" holding feed "1 news 1 a", and with `feedOutside`
    // feed "2 blog" outside it.
    SavedFolder saveFolderWithFeed(bool feedOutside) {
        SavedFolder saved;
        main->performAndWait([&] {
            auto folder = main->insert("Folder");
            folder->setString("sortName", "1 news");
            auto inside = main->insert("Feed");
            inside->setString("sortName", "1 news 1 a");
            inside->setToOne("folder", folder);
            if (feedOutside) main->insert("Feed")->setString("sortName", "2 blog");
            EXPECT_TRUE(main->save().ok());
            saved = {folder->objectID(), inside->objectID()};
        });
        return saved;
    }
    ObjectPtr byTitle(Context& context, const std::string& title) {
        FetchRequest request("Article");
        request.predicate = Predicate::equal("title", title);
        return context.fetch(request).value().front();
    }
    std::shared_ptr<Context> background;
};
}  // namespace

TEST_F(ControllerTest, ReportsInsertRemoveMoveAndUpdateInTableOrder) {
    ObjectID feedID;
    main->performAndWait([&] {
        auto feed = main->insert("Feed");
        feed->setString("name", "F");
        for (auto [title, date] : std::vector<std::pair<std::string, double>>{{"a", 10}, {"b", 20}, {"c", 30}, {"d", 40}}) {
            auto article = main->insert("Article");
            article->setString("title", title);
            article->setDate("date", Date{date});
            article->setToOne("feed", feed);
            article->setToOne("unreadInFeed", feed);
        }
        ASSERT_TRUE(main->save().ok());
        feedID = feed->objectID();
    });
    FetchRequest request("Article");
    request.predicate = Predicate::notNil("unreadInFeed");
    request.sortDescriptors = {{"date", true, false}};
    request.batchSize = 2;
    request.prefetchKeyPaths = {"feed"};
    FetchedResultsController controller(main, request);
    ASSERT_TRUE(controller.performFetch().ok());
    ASSERT_EQ(controller.numberOfSections(), 1u);
    ASSERT_EQ(controller.numberOfObjects(0), 4u);
    EXPECT_EQ(controller.object({0, 2})->string("title"), "c");
    Recorder recorder(controller);
    controller.setDelegate(&recorder);

    inBackground([&](Context& c) {
        auto feed = c.existingObject(feedID).value();
        auto article = c.insert("Article");
        article->setString("title", "e");
        article->setDate("date", Date{25});
        article->setToOne("feed", feed);
        article->setToOne("unreadInFeed", feed);
    }, recorder);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"will", "insert 0.2", "did"}));  // a b e c d

    inBackground([&](Context& c) { c.deleteObject(byTitle(c, "b")); }, recorder);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"will", "remove 0.1", "did"}));  // a e c d

    inBackground([&](Context& c) { byTitle(c, "a")->setDate("date", Date{35}); }, recorder);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"will", "move 0.0>0.2", "did"}));  // e c a d

    inBackground([&](Context& c) { byTitle(c, "c")->setString("title", "c2"); }, recorder);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"will", "update 0.1>0.1", "did"}));

    // Leaving the predicate is a removal; a change of a sort key that keeps the
    // place is an update; several changes arrive in one batch.
    inBackground([&](Context& c) {
        auto d = byTitle(c, "d");
        d->setToOne("unreadInFeed", nullptr);
        d->setDate("readDate", Date{1});
        byTitle(c, "e")->setDate("date", Date{26});
        byTitle(c, "c2")->setDate("date", Date{36});  // swaps with a
    }, recorder);
    auto batch = recorder.take();
    EXPECT_EQ(batch.front(), "will");
    EXPECT_NE(std::find(batch.begin(), batch.end(), "remove 0.3"), batch.end());
    EXPECT_NE(std::find(batch.begin(), batch.end(), "update 0.0>0.0"), batch.end());
    EXPECT_EQ(controller.object({0, 2})->string("title"), "c2");
    EXPECT_EQ(controller.count(), 3u);

    // The main context's own save reports too; a save of other entities does not.
    main->performAndWait([&] {
        auto e = controller.object({0, 0});
        main->deleteObject(e);
        ASSERT_TRUE(main->save().ok());
    });
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"will", "remove 0.0", "did"}));
    inBackground([&](Context& c) { c.insert("Tag")->setString("name", "t"); }, recorder);
    EXPECT_TRUE(recorder.take().empty());
    EXPECT_EQ(controller.indexPath(byTitle(*main, "c2")->objectID()), (IndexPath{0, 1}));
}

TEST_F(ControllerTest, SectionsFollowAKeyPathThroughARelation) {
    std::map<std::string, ObjectID> feeds;
    main->performAndWait([&] {
        std::vector<ObjectPtr> made;
        for (const std::string name : {"Feed 10", "Feed 2"}) {
            auto feed = main->insert("Feed");
            feed->setString("name", name);
            for (int i = 0; i < 2; ++i) {
                auto article = main->insert("Article");
                article->setString("title", name + "/" + std::to_string(i));
                article->setDate("date", Date{static_cast<double>(i)});
                article->setToOne("feed", feed);
            }
            made.push_back(feed);
        }
        ASSERT_TRUE(main->save().ok());
        for (const auto& feed : made) feeds[*feed->string("name")] = feed->objectID();
    });
    FetchRequest request("Article");
    request.sortDescriptors = {{"feed.name", true, true}, {"date", false, false}};
    FetchedResultsController controller(main, request, std::string("feed.name"));
    ASSERT_TRUE(controller.performFetch().ok());
    ASSERT_EQ(controller.numberOfSections(), 2u);
    EXPECT_EQ(controller.sections()[0].name, "Feed 2");  // numeric order
    EXPECT_EQ(controller.object({0, 0})->string("title"), "Feed 2/1");
    Recorder recorder(controller);
    controller.setDelegate(&recorder);

    // A new feed with an article: a new section between the others.
    inBackground([&](Context& c) {
        auto feed = c.insert("Feed");
        feed->setString("name", "Feed 3");
        auto article = c.insert("Article");
        article->setString("title", "Feed 3/0");
        article->setToOne("feed", feed);
    }, recorder);
    auto first = recorder.take();
    EXPECT_EQ(first, (std::vector<std::string>{"will", "section insert 1", "insert 1.0", "did"})) << testing::PrintToString(first);

    // Moving an article to another feed moves it across sections; its old
    // section keeps one row.
    inBackground([&](Context& c) {
        byTitle(c, "Feed 2/0")->setToOne("feed", c.existingObject(feeds["Feed 10"]).value());
    }, recorder);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"will", "move 0.1>2.2", "did"}));

    // Renaming a feed re-reads the list: its section moves to the end.
    inBackground([&](Context& c) { c.existingObject(feeds["Feed 2"]).value()->setString("name", "Feed 99"); }, recorder);
    auto batch = recorder.take();
    EXPECT_EQ(batch.front(), "will");
    EXPECT_EQ(controller.sections().back().name, "Feed 99");
    EXPECT_EQ(controller.numberOfSections(), 3u);

    // Deleting the last article of a section removes the section.
    inBackground([&](Context& c) { c.deleteObject(byTitle(c, "Feed 3/0")); }, recorder);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"will", "section remove 0", "remove 0.0", "did"}));
}

namespace {
// A feed in a folder goes under its folder's name, everything else under its own.
std::string folderSectionName(Object& node) {
    if (node.entity().name() == "Feed")
        if (auto folder = node.toOne("folder")) return folder->string("sortName").value_or("");
    return node.string("sortName").value_or("");
}
}  // namespace

TEST_F(ControllerTest, ComputedSectionsGroupFoldersWithTheirFeeds) {
    // Group name: a feed in a folder shares its folder's sort name.
    auto groupName = [](Object& node) { return folderSectionName(node); };
    const ObjectID folderID = saveFolderWithFeed(true).folder;
    FetchRequest request("Node");
    request.sortDescriptors = {{"sortName", true, true}};
    FetchedResultsController controller(main, request, groupName);
    ASSERT_TRUE(controller.performFetch().ok());
    ASSERT_EQ(controller.numberOfSections(), 2u);
    EXPECT_EQ(controller.numberOfObjects(0), 2u);
    EXPECT_EQ(controller.object({0, 0})->entity().name(), "Folder");
    Recorder recorder(controller);
    controller.setDelegate(&recorder);

    inBackground([&](Context& c) {
        auto feed = c.insert("Feed");
        feed->setString("sortName", "1 news 2 b");
        feed->setToOne("folder", c.existingObject(folderID).value());
    }, recorder);
    auto batch = recorder.take();
    EXPECT_NE(std::find(batch.begin(), batch.end(), "insert 0.2"), batch.end());
    EXPECT_EQ(controller.numberOfObjects(0), 3u);

    // Deleting the folder takes its feeds; the folder's section goes.
    inBackground([&](Context& c) { c.deleteObject(c.existingObject(folderID).value()); }, recorder);
    batch = recorder.take();
    EXPECT_NE(std::find(batch.begin(), batch.end(), "section remove 0"), batch.end());
    EXPECT_EQ(controller.numberOfSections(), 1u);
    EXPECT_EQ(controller.count(), 1u);
}

TEST_F(ControllerTest, ComputedSectionsSkipReReadingForUpdatesOutsideTheirDependencies) {
    int namerCalls = 0;
    auto groupName = [&namerCalls](Object& node) {
        ++namerCalls;
        return folderSectionName(node);
    };
    const auto [folderID, insideID] = saveFolderWithFeed(true);
    FetchRequest request("Node");
    request.sortDescriptors = {{"sortName", true, true}};
    FetchedResultsController controller(main, request, groupName, {"sortName", "folder"});
    ASSERT_TRUE(controller.performFetch().ok());
    Recorder recorder(controller);
    controller.setDelegate(&recorder);

    // A feed's update time sorts nothing and names no section: one update, no namer call.
    namerCalls = 0;
    inBackground([&](Context& c) { c.existingObject(insideID).value()->setDate("lastUpdate", Date{1000.0}); }, recorder);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"will", "update 0.1>0.1", "did"}));
    EXPECT_EQ(namerCalls, 0);

    // The folder's sort name is a dependency: its feed follows it into a new section.
    inBackground([&](Context& c) { c.existingObject(folderID).value()->setString("sortName", "1 world"); }, recorder);
    auto batch = recorder.take();
    EXPECT_NE(std::find(batch.begin(), batch.end(), "section insert 0"), batch.end());
    EXPECT_NE(std::find(batch.begin(), batch.end(), "section remove 0"), batch.end());
    EXPECT_GE(namerCalls, 3);
    ASSERT_EQ(controller.numberOfSections(), 2u);
    EXPECT_EQ(controller.sections()[0].name, "1 world");
    EXPECT_EQ(controller.numberOfObjects(0), 2u);
    EXPECT_EQ(controller.objectID({0, 0}), insideID);
}

namespace {
// The titles of the controller's rows, in order.
std::vector<std::string> titlesOf(FetchedResultsController& controller) {
    std::vector<std::string> titles;
    for (std::size_t i = 0; i < controller.numberOfObjects(0); ++i) titles.push_back(*controller.object({0, i})->string("title"));
    return titles;
}
}  // namespace

// Sorted first by the feed's name: feeds stored in another order than their
// names, equal names whose articles interleave by date, a feed without a name
// and an article without a feed come out as the store itself orders them.
TEST_F(ControllerTest, RelatedTextOrderMatchesTheStoreWithEqualAndMissingNames) {
    struct Case {
        const char* what;
        std::vector<std::optional<std::string>> names;  // one feed each, stored in this order
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"names out of stored order", {"Feed 10", "Feed 2", "feed 1"}, {"-", "f2b", "f2a", "f1b", "f1a", "f0b", "f0a"}},
        {"equal names interleave by date", {"Same", "same", "Other"}, {"-", "f2b", "f2a", "f1b", "f0b", "f0a", "f1a"}},
        {"a feed without a name", {"B", std::nullopt, "A"}, {"f1b", "-", "f1a", "f2b", "f2a", "f0b", "f0a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        main->performAndWait([&] {
            for (const auto& object : main->fetch(FetchRequest("Article"))->all()) main->deleteObject(object);
            for (const auto& object : main->fetch(FetchRequest("Feed"))->all()) main->deleteObject(object);
            ASSERT_TRUE(main->save().ok());
            for (std::size_t f = 0; f < c.names.size(); ++f) {
                auto feed = main->insert("Feed");
                if (c.names[f]) feed->setString("sortName", *c.names[f]);
                // Feed f's articles at 10f + 1 and 10f + 5; the second feed's at 1 and 8.
                for (auto [suffix, offset] : std::vector<std::pair<std::string, double>>{{"a", 1}, {"b", f == 1 ? 8 : 5}}) {
                    auto article = main->insert("Article");
                    std::string title(1, 'f');
                    title += std::to_string(f);
                    title += suffix;
                    article->setString("title", title);
                    article->setDate("date", Date{(f == 1 ? 0.0 : 10.0 * static_cast<double>(f)) + offset});
                    article->setToOne("feed", feed);
                }
            }
            auto orphan = main->insert("Article");
            orphan->setString("title", "-");
            orphan->setDate("date", Date{7});
            ASSERT_TRUE(main->save().ok());
        });
        FetchRequest request("Article");
        request.sortDescriptors = {{"feed.sortName", true, true}, {"date", false, false}};
        FetchedResultsController controller(main, request);
        ASSERT_TRUE(controller.performFetch().ok());
        main->performAndWait([&] { EXPECT_EQ(titlesOf(controller), c.expected); });
    }
}

// A name changed but not yet saved does not move the feed's articles: the
// list is ordered as the store holds the names, as when they are joined.
TEST_F(ControllerTest, RelatedTextOrderUsesStoredNamesWhileARenameIsUnsaved) {
    ObjectPtr renamed;
    main->performAndWait([&] {
        for (const char* name : {"A", "B"}) {
            auto feed = main->insert("Feed");
            feed->setString("sortName", name);
            auto article = main->insert("Article");
            article->setString("title", std::string(name) + "1");
            article->setDate("date", Date{1});
            article->setToOne("feed", feed);
            if (!renamed) renamed = feed;
        }
        ASSERT_TRUE(main->save().ok());
        renamed->setString("sortName", "C");
    });
    FetchRequest request("Article");
    request.sortDescriptors = {{"feed.sortName", true, true}, {"date", false, false}};
    FetchedResultsController controller(main, request);
    ASSERT_TRUE(controller.performFetch().ok());
    main->performAndWait([&] { EXPECT_EQ(titlesOf(controller), (std::vector<std::string>{"A1", "B1"})); });
}

namespace {
// Each section's name and rows, for comparing a kept list with a fresh fetch.
std::vector<std::pair<std::string, std::vector<ObjectID>>> tableOf(FetchedResultsController& controller) {
    std::vector<std::pair<std::string, std::vector<ObjectID>>> table;
    for (std::size_t s = 0; s < controller.numberOfSections(); ++s) {
        table.emplace_back(controller.sections()[s].name, std::vector<ObjectID>());
        for (std::size_t i = 0; i < controller.numberOfObjects(s); ++i) table.back().second.push_back(controller.objectID({s, i}));
    }
    return table;
}
}  // namespace

// Seeded saves that add, remove, rename and move feeds and folders, a few at
// a time: after each, the computed sections kept up to date equal a fresh
// fetch, and the reported changes replay onto the old table.
namespace {
// folderSectionName() from the rows' own columns.
FetchedResultsController::StoredSectionNamer storedFolderSectionName() {
    return {{"sortName", "folder", "folder.sortName"}, [](const std::vector<Value>& values) {
                const bool inFolder = std::holds_alternative<std::int64_t>(values[1]);
                const auto* name = std::get_if<std::string>(&values[inFolder ? 2 : 0]);
                return name ? *name : std::string();
            }};
}

// Sections named by loading each object, or from stored values read with the rows.
class ComputedSections : public ControllerTest, public ::testing::WithParamInterface<bool> {
protected:
    std::unique_ptr<FetchedResultsController> makeController(const FetchRequest& request,
                                                             FetchedResultsController::SectionNamer namer) {
        if (!GetParam()) return std::make_unique<FetchedResultsController>(main, request, namer, std::vector<std::string>{"sortName", "folder"});
        return std::make_unique<FetchedResultsController>(main, request, namer, std::vector<std::string>{"sortName", "folder"},
                                                          storedFolderSectionName());
    }
};
INSTANTIATE_TEST_SUITE_P(Namers, ComputedSections, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "StoredValues" : "Objects"; });
}  // namespace

TEST_P(ComputedSections, FollowRandomSavesLikeAFreshFetch) {
    auto groupName = [](Object& node) { return folderSectionName(node); };
    FetchRequest request("Node");
    request.sortDescriptors = {{"sortName", true, true}};
    auto made = makeController(request, groupName);
    FetchedResultsController& controller = *made;
    ASSERT_TRUE(controller.performFetch().ok());
    Recorder recorder(controller);
    controller.setDelegate(&recorder);

    std::mt19937 random(20261211);
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    std::vector<ObjectID> folders, feeds, goneFolders, goneFeeds;
    int folderCount = 0, feedCount = 0;
    // Feeds in a folder sort right after it, as the outline names them.
    auto nameFeed = [&](const ObjectPtr& feed, const ObjectPtr& folder) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, " %03d", feedCount++);
        feed->setString("sortName", (folder ? folder->string("sortName").value_or("") : std::string("2")) + suffix);
        feed->setToOne("folder", folder);
    };
    auto folderOrNone = [&](Context& c) -> ObjectPtr {
        if (folders.empty() || pick(3) == 0) return nullptr;
        const ObjectID id = folders[pick(folders.size())];
        if (std::find(goneFolders.begin(), goneFolders.end(), id) != goneFolders.end()) return nullptr;
        return c.existingObject(id).value();
    };
    for (int round = 0; round < 60; ++round) {
        // Objects get their lasting IDs when saved.
        std::vector<ObjectPtr> newFolders, newFeeds;
        goneFolders.clear();
        goneFeeds.clear();
        auto live = [&](const ObjectID& id) { return std::find(goneFeeds.begin(), goneFeeds.end(), id) == goneFeeds.end(); };
        inBackground([&](Context& c) {
            const std::size_t steps = 1 + pick(4);
            for (std::size_t step = 0; step < steps; ++step) {
                const std::size_t what = pick(8);
                if (what == 0 || folders.empty()) {
                    auto folder = c.insert("Folder");
                    char name[16];
                    std::snprintf(name, sizeof name, "1 f%03d", folderCount++);
                    folder->setString("sortName", name);
                    newFolders.push_back(folder);
                } else if (what <= 3 || feeds.empty()) {
                    auto feed = c.insert("Feed");
                    nameFeed(feed, folderOrNone(c));
                    newFeeds.push_back(feed);
                } else if (const ObjectID id = feeds[pick(feeds.size())]; !live(id)) {
                    continue;
                } else if (what == 4) {
                    c.existingObject(id).value()->setDate("lastUpdate", Date{double(round)});
                } else if (what == 5) {
                    nameFeed(c.existingObject(id).value(), folderOrNone(c));
                } else if (what == 6) {
                    c.deleteObject(c.existingObject(id).value());
                    goneFeeds.push_back(id);
                } else if (pick(4) == 0) {
                    const ObjectID id = folders[pick(folders.size())];
                    if (std::find(goneFolders.begin(), goneFolders.end(), id) == goneFolders.end()) {
                        auto folder = c.existingObject(id).value();
                        for (auto& feed : folder->toMany("feeds")) goneFeeds.push_back(feed->objectID());
                        c.deleteObject(folder);
                        goneFolders.push_back(id);
                    }
                }
            }
            // A save that changed nothing would not be merged.
            if (!c.hasChanges()) {
                newFeeds.push_back(c.insert("Feed"));
                nameFeed(newFeeds.back(), nullptr);
            }
        }, recorder);
        auto drop = [](std::vector<ObjectID>& ids, const std::vector<ObjectID>& gone) {
            ids.erase(std::remove_if(ids.begin(), ids.end(), [&](const ObjectID& id) { return std::find(gone.begin(), gone.end(), id) != gone.end(); }),
                      ids.end());
        };
        // Objects made and deleted in one save never reach the list.
        background->performAndWait([&] {
            for (auto& folder : newFolders) folders.push_back(folder->objectID());
            for (auto& feed : newFeeds) feeds.push_back(feed->objectID());
        });
        drop(folders, goneFolders);
        drop(feeds, goneFeeds);
        main->performAndWait([&] {
            FetchedResultsController fresh(main, request, groupName);
            ASSERT_TRUE(fresh.performFetch().ok());
            ASSERT_EQ(tableOf(controller), tableOf(fresh)) << "round " << round;
        });
        if (HasFatalFailure()) return;
    }
}

// The stored names would be the folder's old one while its rename is unsaved.
TEST_P(ComputedSections, AnUnsavedRenameNamesTheSectionsAfterAnotherSave) {
    auto groupName = [](Object& node) { return folderSectionName(node); };
    const ObjectID folderID = saveFolderWithFeed(false).folder;
    FetchRequest request("Node");
    request.sortDescriptors = {{"sortName", true, true}};
    auto controller = makeController(request, groupName);
    ASSERT_TRUE(controller->performFetch().ok());
    Recorder recorder(*controller);
    controller->setDelegate(&recorder);

    main->performAndWait([&] { main->existingObject(folderID).value()->setString("sortName", "1 world"); });
    inBackground([&](Context& c) {
        auto feed = c.insert("Feed");
        feed->setString("sortName", "1 news 2 b");
        feed->setToOne("folder", c.existingObject(folderID).value());
    }, recorder);
    main->performAndWait([&] {
        ASSERT_EQ(controller->numberOfSections(), 1u);
        EXPECT_EQ(controller->sections()[0].name, "1 world");
        FetchedResultsController fresh(main, request, groupName);
        ASSERT_TRUE(fresh.performFetch().ok());
        EXPECT_EQ(tableOf(*controller), tableOf(fresh));
    });
}

namespace {
// The object changes of a log, without section changes: a controller that
// names one empty section for every row reports those when the list empties.
std::vector<std::string> objectChanges(std::vector<std::string> log) {
    log.erase(std::remove_if(log.begin(), log.end(), [](const std::string& line) { return line.rfind("section", 0) == 0; }),
              log.end());
    return log;
}
}  // namespace

// Seeded saves that each insert, delete and re-date articles (dates often
// equal), take them out of the filter and back in and retitle them, all in
// one save: the list kept by placing only the touched rows equals a fresh
// fetch, and its reports equal those of a list read whole after every save.
TEST_F(ControllerTest, UnsectionedListFollowsRandomSavesLikeAFreshFetch) {
    const std::vector<std::vector<SortDescriptor>> orders = {
        {{"date", false, false}},
        {{"feed.sortName", true, true}, {"date", false, false}},
    };
    for (const auto& order : orders) {
        std::vector<ObjectID> feeds;
        main->performAndWait([&] {
            for (const char* name : {"Feed 2", "Feed 10", "feed 3"}) {
                auto feed = main->insert("Feed");
                feed->setString("sortName", name);
            }
            ASSERT_TRUE(main->save().ok());
            feeds = main->fetchObjectIDs(FetchRequest("Feed")).value();
        });
        FetchRequest request("Article");
        request.predicate = Predicate::notNil("unreadInFeed");
        request.sortDescriptors = order;
        FetchedResultsController controller(main, request);
        // Read whole after every save: a namer without dependencies.
        FetchedResultsController wholeReads(main, request, [](Object&) { return std::string(); });
        ASSERT_TRUE(controller.performFetch().ok());
        ASSERT_TRUE(wholeReads.performFetch().ok());
        Recorder recorder(controller), wholeRecorder(wholeReads);
        controller.setDelegate(&recorder);
        wholeReads.setDelegate(&wholeRecorder);

        std::mt19937 random(20261211);
        auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
        std::vector<ObjectID> articles;
        int titles = 0;
        auto nextTitle = [&] {
            std::string title = "t";
            title += std::to_string(titles++);
            return title;
        };
        for (int round = 0; round < 80; ++round) {
            std::vector<ObjectPtr> added;
            std::vector<ObjectID> gone;
            inBackground([&](Context& c) {
                auto feed = [&] { return c.existingObject(feeds[pick(feeds.size())]).value(); };
                const std::size_t inserts = round < 5 ? 20 : pick(6);
                for (std::size_t k = 0; k < inserts; ++k) {
                    auto article = c.insert("Article");
                    article->setString("title", nextTitle());
                    article->setDate("date", Date{double(pick(30))});
                    auto owner = feed();
                    article->setToOne("feed", owner);
                    if (pick(5) != 0) article->setToOne("unreadInFeed", owner);
                    added.push_back(article);
                }
                const std::size_t edits = articles.empty() ? 0 : pick(8);
                for (std::size_t k = 0; k < edits; ++k) {
                    const ObjectID id = articles[pick(articles.size())];
                    if (std::find(gone.begin(), gone.end(), id) != gone.end()) continue;
                    auto article = c.existingObject(id).value();
                    switch (pick(5)) {
                        case 0: c.deleteObject(article), gone.push_back(id); break;
                        case 1: article->setDate("date", Date{double(pick(30))}); break;
                        case 2: article->setToOne("unreadInFeed", nullptr); break;
                        case 3: article->setToOne("unreadInFeed", article->toOne("feed")); break;
                        default: article->setString("title", nextTitle()); break;
                    }
                }
                if (!c.hasChanges()) c.insert("Tag")->setString("name", "t");
            }, recorder);
            background->performAndWait([&] {
                for (auto& article : added) articles.push_back(article->objectID());
            });
            articles.erase(std::remove_if(articles.begin(), articles.end(),
                                          [&](const ObjectID& id) { return std::find(gone.begin(), gone.end(), id) != gone.end(); }),
                           articles.end());
            main->performAndWait([&] {
                FetchedResultsController fresh(main, request);
                ASSERT_TRUE(fresh.performFetch().ok());
                ASSERT_EQ(tableOf(controller), tableOf(fresh)) << "round " << round;
            });
            ASSERT_EQ(objectChanges(recorder.take()), objectChanges(wholeRecorder.take())) << "round " << round;
        }
        // The next order starts from an empty store of articles.
        main->performAndWait([&] {
            for (auto& feed : feeds) main->deleteObject(main->existingObject(feed).value());
            ASSERT_TRUE(main->save().ok());
        });
    }
}
