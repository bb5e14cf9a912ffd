#include <gtest/gtest.h>

#include "window/FeedsChangingInfos.h"
#include "window/FeedsDropRules.h"

using namespace tallowmere;
using graph::ObjectID;
using graph::ResultsChange;

namespace {

ObjectID id(std::int64_t key) { return ObjectID(nullptr, key); }

struct Report {
    std::optional<std::size_t> index;
    std::optional<ObjectID> parent;
    ResultsChange type;
    std::optional<std::size_t> newIndex;
    std::optional<ObjectID> newParent;
};

struct Step {
    ResultsChange type;
    std::map<NodeInfo, std::set<int>> indexes;
    std::optional<FeedsChangingInfo::NewIndexInfo> target;
};

TEST(FeedsChangingInfos, RecordsByTheConversionTableAndMergesIntoTheLastElementOnly) {
    const NodeInfo rootInfo{}, f{id(1)}, g{id(2)};
    const struct {
        const char* what;
        std::vector<Report> reports;
        std::vector<Step> steps;
    } cases[] = {
        {"three inserts into a folder: one step with three indexes",
         {{{}, {}, ResultsChange::insert, 0, id(1)}, {{}, {}, ResultsChange::insert, 1, id(1)},
          {{}, {}, ResultsChange::insert, 2, id(1)}},
         {{ResultsChange::insert, {{f, {0, 1, 2}}}, {}}}},
        {"three top-level inserts: indexes after the six smart groups",
         {{{}, {}, ResultsChange::insert, 0, {}}, {{}, {}, ResultsChange::insert, 1, {}},
          {{}, {}, ResultsChange::insert, 2, {}}},
         {{ResultsChange::insert, {{rootInfo, {6, 7, 8}}}, {}}}},
        {"delete, insert, delete: three steps in that order",
         {{3, {}, ResultsChange::remove, {}, {}}, {{}, {}, ResultsChange::insert, 0, id(1)},
          {1, id(1), ResultsChange::remove, {}, {}}},
         {{ResultsChange::remove, {{rootInfo, {9}}}, {}},
          {ResultsChange::insert, {{f, {0}}}, {}},
          {ResultsChange::remove, {{f, {1}}}, {}}}},
        {"deletes in two parents: one step",
         {{4, {}, ResultsChange::remove, {}, {}}, {2, id(2), ResultsChange::remove, {}, {}}},
         {{ResultsChange::remove, {{rootInfo, {10}}, {g, {2}}}, {}}}},
        {"a move with equal indexes is an update at the new place, parents not compared",
         {{2, id(1), ResultsChange::move, 2, id(2)}},
         {{ResultsChange::update, {{g, {2}}}, {}}}},
        {"moves to one target join, another target starts a step",
         {{3, {}, ResultsChange::move, 1, id(1)}, {5, {}, ResultsChange::move, 1, id(1)},
          {1, id(1), ResultsChange::move, 0, {}}},
         {{ResultsChange::move, {{rootInfo, {9, 11}}}, FeedsChangingInfo::NewIndexInfo{f, 1}},
          {ResultsChange::move, {{f, {1}}}, FeedsChangingInfo::NewIndexInfo{rootInfo, 6}}}},
        {"updates count at their new place",
         {{5, {}, ResultsChange::update, 1, id(2)}, {{}, {}, ResultsChange::update, 0, {}}},
         {{ResultsChange::update, {{g, {1}}, {rootInfo, {6}}}, {}}}},
        {"a change without the index it needs is dropped",
         {{2, {}, ResultsChange::insert, {}, {}}, {{}, {}, ResultsChange::remove, 2, {}},
          {1, {}, ResultsChange::move, {}, {}}, {1, {}, ResultsChange::update, {}, {}}},
         {}},
    };
    for (const auto& c : cases) {
        FeedsChangingInfos infos(6);
        for (const Report& r : c.reports) infos.record(r.index, r.parent, r.type, r.newIndex, r.newParent);
        const std::vector<FeedsChangingInfo> steps = infos.take();
        ASSERT_EQ(steps.size(), c.steps.size()) << c.what;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].type, c.steps[i].type) << c.what << " step " << i;
            EXPECT_EQ(steps[i].indexesInfo, c.steps[i].indexes) << c.what << " step " << i;
            EXPECT_EQ(steps[i].newIndexInfo, c.steps[i].target) << c.what << " step " << i;
        }
        EXPECT_TRUE(infos.empty()) << "taking empties the list";
    }
}

// Root: folder F1 (a, b, c), feeds x and y, folder F2 (d); at outline rows 6 to 9.
class SmallTree : public FeedsDropRules::Tree {
public:
    bool isExpandable(const std::optional<ObjectID>& item) const override {
        return !item || *item == F1 || *item == F2;
    }
    int childIndex(const ObjectID& item) const override {
        for (std::size_t i = 0; i < root.size(); ++i)
            if (root[i] == item) return 6 + static_cast<int>(i);
        for (std::size_t i = 0; i < inF1.size(); ++i)
            if (inF1[i] == item) return static_cast<int>(i);
        return item == d ? 0 : -1;
    }
    std::optional<ObjectID> parent(const ObjectID& item) const override {
        if (item == d) return F2;
        for (const ObjectID& feed : inF1)
            if (feed == item) return F1;
        return std::nullopt;
    }
    const ObjectID F1 = id(1), F2 = id(2), a = id(10), b = id(11), c = id(12), d = id(13), x = id(20), y = id(21);
    const std::vector<ObjectID> root{F1, x, y, F2};
    const std::vector<ObjectID> inF1{a, b, c};
};

TEST(FeedsDropRules, RefuseOrPlaceByTheRules) {
    const SmallTree t;
    const std::optional<ObjectID> atRoot;
    const struct {
        const char* what;
        std::optional<ObjectID> proposed;
        int k;
        ObjectID dragged;
        std::optional<FeedsDropTarget> expected;
    } cases[] = {
        {"between the smart groups", atRoot, 3, t.x, std::nullopt},
        {"just above the first node's row is still among them", atRoot, 5, t.x, std::nullopt},
        {"onto a smart group or the empty root", atRoot, -1, t.x, std::nullopt},
        {"root index 6 puts the node first", atRoot, 6, t.y, FeedsDropTarget{atRoot, 0, 6}},
        {"a folder to root index 6", atRoot, 6, t.F2, FeedsDropTarget{atRoot, 0, 6}},
        {"folder onto folder", t.F1, -1, t.F2, std::nullopt},
        {"folder between a folder's feeds", t.F1, 1, t.F2, std::nullopt},
        {"folder onto a feed in a folder", t.a, -1, t.F2, std::nullopt},
        {"feed between a folder's feeds", t.F1, 1, t.x, FeedsDropTarget{t.F1, 1, 1}},
        {"feed down within its folder", t.F1, 3, t.a, FeedsDropTarget{t.F1, 3, 2}},
        {"feed onto a folder", t.F1, -1, t.x, FeedsDropTarget{t.F1, -1, -1}},
        {"onto a feed from above: after it", t.y, -1, t.x, FeedsDropTarget{atRoot, 3, 8}},
        {"onto a feed from below: before it", t.x, -1, t.y, FeedsDropTarget{atRoot, 1, 7}},
        {"onto a feed in a folder from the root", t.b, -1, t.x, FeedsDropTarget{t.F1, 1, 1}},
        {"onto a feed of another folder from above it", t.b, -1, t.d, FeedsDropTarget{t.F1, 1, 1}},
        {"out of a folder to the end of the root", atRoot, 10, t.a, FeedsDropTarget{atRoot, 4, 10}},
        {"just above itself", atRoot, 8, t.y, std::nullopt},
        {"just below itself: accepted, the row stays", atRoot, 9, t.y, FeedsDropTarget{atRoot, 3, 8}},
        {"onto itself", t.y, -1, t.y, std::nullopt},
        {"onto its own folder", t.F1, -1, t.b, FeedsDropTarget{t.F1, -1, -1}},
    };
    for (const auto& c : cases) {
        const int o = t.childIndex(c.dragged);
        const auto target = FeedsDropRules::target(c.proposed, c.k, c.dragged, o, t.parent(c.dragged), t, 6);
        EXPECT_EQ(target, c.expected) << c.what;
    }
}

}  // namespace
