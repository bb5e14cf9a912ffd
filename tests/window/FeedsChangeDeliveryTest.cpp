#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>
#include <atomic>
#include <random>

#include "cloud/CloudUserManager.h"
#include "cloud/NullCloudUserManager.h"
#include "feeds/FeedsManager.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "support/SignedOutCloudUserManager.h"
#include "window/SidebarTestSupport.h"

using namespace tallowmere;
using graph::ObjectID;

namespace {

// The signed-out cloud, counting the saves of the user's feed list.
class RecordingCloudUserManager final : public test::SignedOutCloudUserManager {
public:
    void saveUserFeeds(Completion completion) override {
        ++feedListSaves;
        SignedOutCloudUserManager::saveUserFeeds(std::move(completion));
    }
    std::atomic<int> feedListSaves{0};
};

// A sidebar over a real store, node source and feeds manager, not shown.
struct Delivery {
    Delivery() {
        cloud = std::make_shared<RecordingCloudUserManager>();
        CloudUserManager::setShared(cloud);
    }
    ~Delivery() {
        tester.reset();
        controller.reset();
        CloudUserManager::setShared(std::make_shared<NullCloudUserManager>());
    }
    void makeSidebar() {
        auto services = store.services();
        services.feedsManager = &manager;
        controller = std::make_unique<FeedsViewController>(services);
        controller->view();
        tester = std::make_unique<QAbstractItemModelTester>(model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    FeedsOutlineModel* model() { return controller->outlineModel(); }
    FeedsOutlineView* outline() { return controller->feedsOutlineView(); }
    // Until the saves are merged and every change set has reached the outline.
    void settle() {
        store.settle();
        dispatch::MainQueue::shared().drain();
        QCoreApplication::processEvents();
        dispatch::MainQueue::shared().drain();
    }
    std::optional<Node> mainNode(const ObjectID& id) {
        graph::Context& main = *store.controller->mainContext();
        std::optional<Node> node;
        main.performAndWait([&] { node = Node::from(main.object(id)); });
        return node;
    }
    // Name and count of every node row, as the outline holds them.
    static std::vector<std::tuple<QString, QString, qint64>> rows(const FeedsOutlineModel& m) {
        std::vector<std::tuple<QString, QString, qint64>> found;
        std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
            for (int row = parent.isValid() ? 0 : 6; row < m.rowCount(parent); ++row) {
                const QModelIndex index = m.index(row, 0, parent);
                const auto& id = std::get<ObjectID>(*m.item(index));
                found.emplace_back(QString::fromStdString(id.uriRepresentation()), index.data().toString(),
                                   index.data(FeedsOutlineModel::CountRole).toLongLong());
                walk(index);
            }
        };
        walk({});
        return found;
    }
    QModelIndex indexOf(const StoredObject& node) { return model()->indexForItem(node.objectID()); }
    // Drags the node and drops it at a child row of a parent index.
    bool drop(const StoredObject& node, int row, const QModelIndex& parent = {}) {
        return drop(node.objectID(), row, parent);
    }
    bool drop(const ObjectID& node, int row, const QModelIndex& parent = {}) {
        Q_EMIT outline()->dragWillBegin(model()->indexForItem(node));
        QMimeData data;
        data.setData(FeedsOutlineModel::pasteboardType(), QByteArray());
        const bool taken = model()->dropMimeData(&data, Qt::MoveAction, row, 0, parent);
        Q_EMIT outline()->dragDidEnd();
        settle();
        return taken;
    }

    test::SidebarStore store;
    FeedsManager manager{store.feedsManagerCollaborators()};
    std::shared_ptr<RecordingCloudUserManager> cloud;
    std::unique_ptr<FeedsViewController> controller;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

// Several feeds in one save of the background context, one change set.
std::vector<ObjectID> addFeedsInOneSave(test::SidebarStore& store, const std::vector<std::string>& names,
                                        const std::optional<Folder>& folder) {
    // The main context's renumbered sort names first, so that the new
    // feeds' sort names start with their folder's as it is now.
    graph::Context& main = *store.controller->mainContext();
    main.performAndWait([&] { (void)main.save(); });
    store.settle();
    dispatch::MainQueue::shared().drain();
    graph::Context& background = *store.controller->backgroundContext();
    std::vector<ObjectID> ids;
    background.performAndWait([&] {
        std::optional<Folder> here;
        if (folder) here = Folder::from(background.object(folder->objectID()));
        std::vector<Feed> feeds;
        for (const std::string& name : names) {
            Feed feed = Feed::insert(background);
            feed.setName(name);
            feed.setUrl("https://" + name + ".example/feed");
            feed.setFolder(here);
            feed.updateSortName();
            feeds.push_back(feed);
        }
        (void)background.save();
        for (const Feed& feed : feeds) ids.push_back(feed.objectID());
    });
    return ids;
}

TEST(FeedsChangeDelivery, OneSaveBecomesStepsPerParentAndRunOfRows) {
    Delivery d;
    Folder folder = d.store.addFolder("Tech");
    Feed top = d.store.addFeed("Top");
    d.makeSidebar();
    const QModelIndex tech = d.indexOf(folder);
    QSignalSpy inserted(d.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(d.model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(d.model(), &QAbstractItemModel::dataChanged);
    int resets = 0;
    QObject::connect(d.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });

    const auto three = addFeedsInOneSave(d.store, {"alpha", "beta", "gamma"}, folder);
    d.settle();
    ASSERT_EQ(inserted.count(), 1) << "three feeds into one folder: one step";
    EXPECT_EQ(inserted[0][0].value<QModelIndex>(), tech);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 2);

    inserted.clear();
    addFeedsInOneSave(d.store, {"delta", "epsilon"}, std::nullopt);
    d.settle();
    ASSERT_EQ(inserted.count(), 1) << "two top-level feeds: one step at the root";
    EXPECT_FALSE(inserted[0][0].value<QModelIndex>().isValid());
    EXPECT_GE(inserted[0][1].toInt(), 6);
    EXPECT_EQ(inserted[0][2].toInt() - inserted[0][1].toInt(), 1);

    // A feed leaves its folder: its row goes, the folder's row redraws.
    changed.clear();
    d.store.remove(*d.mainNode(three[1]));
    d.settle();
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][0].value<QModelIndex>(), d.indexOf(folder));
    EXPECT_EQ(removed[0][1].toInt(), 1);
    bool folderRedrawn = false;
    for (const auto& signal : changed) folderRedrawn |= signal[0].value<QModelIndex>() == d.indexOf(folder);
    EXPECT_TRUE(folderRedrawn);

    // An update redraws the feed's row without taking rows out or in.
    removed.clear();
    inserted.clear();
    changed.clear();
    d.store.nodes->setName(*d.mainNode(top.objectID()), "Top, renamed");
    d.settle();
    EXPECT_EQ(d.indexOf(top).data().toString(), "Top, renamed");
    EXPECT_EQ(resets, 0) << "never a reset";
    EXPECT_EQ(d.model()->snapshotTree(), d.model()->storeTree());
}

TEST(FeedsChangeDelivery, TwoHundredRandomChangeSetsKeepTheTreeOfAFreshFetch) {
    Delivery d;
    for (int f = 0; f < 3; ++f) {
        Folder folder = d.store.addFolder("Folder " + std::to_string(f));
        d.store.addFeed("In " + std::to_string(f), folder);
    }
    for (int k = 0; k < 3; ++k) d.store.addFeed("Top " + std::to_string(k));
    d.makeSidebar();
    int resets = 0;
    QObject::connect(d.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    auto expandFolders = [&] {
        for (const ObjectID& id : d.model()->snapshotTree().root)
            if (d.model()->isFolder(id)) d.outline()->expand(d.model()->indexForItem(id));
    };
    expandFolders();

    std::mt19937 random(2026);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    int names = 0;
    for (int set = 0; set < 200; ++set) {
        const FeedsOutlineModel::Tree tree = d.model()->storeTree();
        std::vector<ObjectID> folders, feeds;
        for (const ObjectID& id : tree.root) (d.model()->isFolder(id) ? folders : feeds).push_back(id);
        for (const auto& [folder, inside] : tree.children) feeds.insert(feeds.end(), inside.begin(), inside.end());
        auto randomFolder = [&]() -> std::optional<Folder> {
            if (folders.empty() || pick(3) == 0) return std::nullopt;
            return Folder::from(d.mainNode(folders[pick(folders.size())])->object());
        };
        const std::string name = "n" + std::to_string(++names);
        switch (feeds.size() < 4 ? 0 : pick(7)) {
            case 0:
                d.store.addFeed(name, randomFolder());
                break;
            case 1:
                if (folders.size() < 6) d.store.addFolder(name);
                else d.store.addFeed(name, randomFolder());
                break;
            case 2: {
                // Folders go less often than feeds, with their feeds.
                const bool folder = !folders.empty() && pick(4) == 0;
                const ObjectID gone = folder ? folders[pick(folders.size())] : feeds[pick(feeds.size())];
                d.store.remove(*d.mainNode(gone));
                break;
            }
            case 3:
            case 4: {
                const ObjectID moved = feeds[pick(feeds.size())];
                const auto into = randomFolder();
                const std::size_t count = into ? tree.children.at(into->objectID()).size() : tree.root.size();
                d.store.nodes->moveNode(moved, static_cast<std::int64_t>(pick(count + 1)),
                                        into ? std::optional(into->objectID()) : std::nullopt);
                break;
            }
            case 5: {
                if (folders.empty()) break;
                d.store.nodes->moveNode(folders[pick(folders.size())], static_cast<std::int64_t>(pick(tree.root.size())),
                                        std::nullopt);
                break;
            }
            case 6: {
                const ObjectID renamed = pick(3) == 0 && !folders.empty() ? folders[pick(folders.size())]
                                                                          : feeds[pick(feeds.size())];
                d.store.nodes->setName(*d.mainNode(renamed), name);
                break;
            }
        }
        d.settle();
        const FeedsOutlineModel fresh(d.store.nodes, *d.store.articles, d.store.controller);
        ASSERT_EQ(d.model()->snapshotTree(), fresh.snapshotTree()) << "change set " << set;
        ASSERT_EQ(Delivery::rows(*d.model()), Delivery::rows(fresh)) << "names and counts, change set " << set;
        for (const ObjectID& id : d.model()->snapshotTree().root)
            if (d.model()->isFolder(id) && d.outline()->isExpanded(d.model()->indexForItem(id)) == false &&
                d.model()->rowCount(d.model()->indexForItem(id)) > 0) {
                // Only folders made since the last set may still be closed.
                d.outline()->expand(d.model()->indexForItem(id));
            }
    }
    EXPECT_EQ(resets, 0) << "the outline followed every set step by step";
}

TEST(FeedsChangeDelivery, AChangeSetDuringADragShowsWhenTheDragEnds) {
    Delivery d;
    Folder folder = d.store.addFolder("Tech");
    Feed inside = d.store.addFeed("Inside", folder);
    Feed top = d.store.addFeed("Top");
    d.makeSidebar();
    d.outline()->expand(d.indexOf(folder));
    d.outline()->selectRow(d.outline()->rowForIndex(d.indexOf(inside)));

    Q_EMIT d.outline()->dragWillBegin(d.indexOf(top));
    EXPECT_EQ(d.controller->draggingNodeID(), top.objectID());
    Feed later = d.store.addFeed("Later");
    d.settle();
    EXPECT_FALSE(d.indexOf(later).isValid()) << "not shown during the drag";
    Q_EMIT d.outline()->dragDidEnd();
    EXPECT_FALSE(d.controller->draggingNodeID());
    EXPECT_TRUE(d.indexOf(later).isValid()) << "shown once it ends";
    EXPECT_EQ(d.model()->snapshotTree(), d.model()->storeTree());
    EXPECT_TRUE(d.outline()->isExpanded(d.indexOf(folder))) << "open folders stay open";
    ASSERT_TRUE(d.controller->selectedItem());
    EXPECT_EQ(std::get<ObjectID>(*d.controller->selectedItem()), inside.objectID()) << "and the selection stays";

    // Later sets address the rows that are there.
    d.store.remove(top);
    d.settle();
    EXPECT_EQ(d.model()->snapshotTree(), d.model()->storeTree());
}

TEST(FeedsChangeDelivery, DropsMoveInStoreAndOutlineAndSaveTheCloudListOnlyForANewParent) {
    Delivery d;
    Folder tech = d.store.addFolder("Tech");
    Folder news = d.store.addFolder("News");
    Feed a = d.store.addFeed("A", tech);
    Feed b = d.store.addFeed("B", tech);
    Feed x = d.store.addFeed("X");
    Feed y = d.store.addFeed("Y");
    d.makeSidebar();
    d.outline()->expand(d.indexOf(tech));
    auto storeParent = [&](const ObjectID& id) { return d.model()->parent(id); };
    auto root = [&]() { return d.model()->storeTree().root; };
    ObjectID lastBefore;

    struct Case {
        const char* what;
        std::function<bool()> drop;
        bool taken;
        int cloudSaves;
        std::function<bool()> check;
    };
    const std::vector<Case> cases = {
        {"a feed onto a folder goes into it", [&] { return d.drop(x, -1, d.indexOf(news)); }, true, 1,
         [&] { return storeParent(x.objectID()) == news.objectID(); }},
        {"reordering in the root: the last to the top", [&] { return d.drop(root().back(), 6); }, true, 0,
         [&] { return root().front() == lastBefore; }},
        {"a feed out of a folder to the root", [&] { return d.drop(a, 7); }, true, 1,
         [&] { return !storeParent(a.objectID()) && root()[1] == a.objectID(); }},
        {"a folder into a folder", [&] { return d.drop(news, -1, d.indexOf(tech)); }, false, 0, [] { return true; }},
        {"between the smart groups", [&] { return d.drop(b, 3); }, false, 0, [] { return true; }},
        {"just above itself", [&] { return d.drop(y, d.indexOf(y).row()); }, false, 0, [] { return true; }},
    };
    for (const Case& c : cases) {
        lastBefore = root().back();
        const int saves = d.cloud->feedListSaves.load();
        const FeedsOutlineModel::Tree before = d.model()->storeTree();
        EXPECT_EQ(c.drop(), c.taken) << c.what;
        EXPECT_EQ(d.cloud->feedListSaves.load() - saves, c.cloudSaves) << c.what;
        EXPECT_TRUE(c.check()) << c.what;
        if (!c.taken) {
            EXPECT_EQ(d.model()->storeTree(), before) << c.what << ": nothing moved";
        }
        EXPECT_EQ(d.model()->snapshotTree(), d.model()->storeTree()) << c.what;
    }
    EXPECT_TRUE(d.outline()->isExpanded(d.indexOf(tech)));
}

TEST(FeedsChangeDelivery, DropsThatAreNotTheSidebarsOwnAreRefused) {
    Delivery d;
    Folder tech = d.store.addFolder("Tech");
    Feed x = d.store.addFeed("X");
    Feed y = d.store.addFeed("Y");
    d.makeSidebar();
    const FeedsOutlineModel::Tree before = d.model()->storeTree();

    QMimeData foreign;
    foreign.setData("text/uri-list", "https://example.com/\r\n");
    EXPECT_FALSE(d.model()->canDropMimeData(&foreign, Qt::MoveAction, 6, 0, {})) << "another type";
    EXPECT_FALSE(d.model()->dropMimeData(&foreign, Qt::MoveAction, 6, 0, {}));
    QMimeData own;
    own.setData(FeedsOutlineModel::pasteboardType(), QByteArray());
    EXPECT_FALSE(d.model()->canDropMimeData(&own, Qt::CopyAction, 6, 0, {})) << "moves only";
    EXPECT_TRUE(d.model()->canDropMimeData(&own, Qt::MoveAction, 6, 0, {}));
    EXPECT_FALSE(d.model()->dropMimeData(&own, Qt::MoveAction, 6, 0, {})) << "no drag of the sidebar: another program's";
    EXPECT_EQ(d.model()->supportedDragActions(), Qt::MoveAction);
    EXPECT_EQ(d.model()->mimeTypes(), QStringList{FeedsOutlineModel::pasteboardType()});
    std::unique_ptr<QMimeData> dragged(d.model()->mimeData({d.indexOf(x)}));
    EXPECT_TRUE(dragged->hasFormat(FeedsOutlineModel::pasteboardType()));
    EXPECT_TRUE(dragged->data(FeedsOutlineModel::pasteboardType()).isEmpty()) << "no payload";
    EXPECT_FALSE(d.model()->flags(d.model()->index(2, 0)) & Qt::ItemIsDragEnabled) << "smart groups stay";

    // The dragged feed is deleted while the drag is under way.
    Q_EMIT d.outline()->dragWillBegin(d.indexOf(x));
    d.store.remove(x);
    d.settle();
    EXPECT_FALSE(d.model()->dropMimeData(&own, Qt::MoveAction, -1, 0, d.indexOf(tech)));
    EXPECT_EQ(d.model()->storeTree().children.at(tech.objectID()).size(), 0u) << "nothing went into the folder";
    Q_EMIT d.outline()->dragDidEnd();
    EXPECT_FALSE(d.indexOf(x).isValid()) << "the deletion shows after the drag";
    EXPECT_EQ(d.model()->snapshotTree(), d.model()->storeTree());
    EXPECT_NE(before, d.model()->storeTree());
}

}  // namespace
