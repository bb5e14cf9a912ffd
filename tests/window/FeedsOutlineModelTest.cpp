#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QPixmap>
#include <QSignalSpy>

#include "themes/ThemesManager.h"
#include "window/FeedsCellView.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsRowView.h"
#include "window/SidebarTestSupport.h"

using namespace tallowmere;

namespace {

struct ModelFixture {
    test::SidebarStore store;
    std::unique_ptr<FeedsOutlineModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;

    void makeModel() {
        model = std::make_unique<FeedsOutlineModel>(store.nodes, *store.articles, store.controller);
        tester = std::make_unique<QAbstractItemModelTester>(model.get(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    QString name(int row, const QModelIndex& parent = {}) { return model->index(row, 0, parent).data().toString(); }
    qint64 count(int row, const QModelIndex& parent = {}) {
        return model->index(row, 0, parent).data(FeedsOutlineModel::CountRole).toLongLong();
    }
};

TEST(FeedsOutlineModel, AnEmptyStoreShowsTheSixSmartGroupsOnly) {
    ModelFixture f;
    f.makeModel();
    ASSERT_EQ(f.model->rowCount(), 6);
    const std::vector<QString> names = {"All Articles", "Unread", "Today", "Starred", "Add Feed…", ""};
    for (int row = 0; row < 6; ++row) {
        const QModelIndex index = f.model->index(row, 0);
        EXPECT_EQ(index.data().toString(), names[row]);
        EXPECT_EQ(index.data(FeedsOutlineModel::SmartGroupRole).toInt(), row);
        EXPECT_EQ(f.model->rowCount(index), 0);
        EXPECT_EQ(index.data(FeedsOutlineModel::UserSelectableRole).toBool(), row < 4) << row;
        EXPECT_EQ(index.data(FeedsOutlineModel::CountRole).toLongLong(), 0);
        auto item = f.model->item(index);
        ASSERT_TRUE(item);
        EXPECT_EQ(std::get<FeedsSmartGroup>(*item), static_cast<FeedsSmartGroup>(row));
        EXPECT_FALSE(f.model->objectValue(*item)) << "a smart group is no node";
    }
}

TEST(FeedsOutlineModel, SmartGroupCountsReadOffTheMainQueueMatchTheStore) {
    ModelFixture f;
    Feed feed = f.store.addFeed("Kernel");
    f.makeModel();
    EXPECT_EQ(f.count(0), 0);
    f.store.addUnreadArticles(feed, 4);
    // Nothing unsaved in the main context: the counts come from the store.
    graph::Context& main = *f.store.controller->mainContext();
    main.performAndWait([&] { ASSERT_TRUE(main.save().ok()); });
    f.store.settle();
    QSignalSpy read(f.model.get(), &FeedsOutlineModel::smartGroupCountsRead);
    // Asked again while the first read runs: one more read, one signal.
    f.model->reloadRowsSoon();
    f.model->reloadRowsSoon();
    f.model->reloadRowsSoon();
    ASSERT_TRUE(test::waitUntil([&] { return read.count() > 0; }, 20000));
    EXPECT_EQ(f.count(0), 4) << "all";
    EXPECT_EQ(f.count(1), 4) << "unread";
    EXPECT_EQ(f.count(3), 0) << "starred";
    test::waitUntil([] { return false; }, 200);
    EXPECT_EQ(read.count(), 1);
}

TEST(FeedsOutlineModel, NodesFollowTheSmartGroupsWithNamesCountsAndIcons) {
    ModelFixture f;
    Folder tech = f.store.addFolder("Tech");
    Feed kernel = f.store.addFeed("Kernel", tech, test::SidebarStore::pngIcon(Qt::red));
    Feed broken = f.store.addFeed("Broken icon", tech, graph::Bytes{'x', 'y', 'z'});
    Feed plain = f.store.addFeed(std::string(10000, 'w') + "\nsecond line");
    f.store.addUnreadArticles(kernel, 3);
    f.store.addUnreadArticles(broken, 2);
    f.makeModel();

    ASSERT_EQ(f.model->rowCount(), 8);
    const QModelIndex folder = f.model->indexForItem(tech.objectID());
    ASSERT_TRUE(folder.isValid());
    EXPECT_GE(folder.row(), 6) << "nodes follow the smart groups";
    EXPECT_EQ(folder.data().toString(), "Tech");
    EXPECT_TRUE(folder.data(FeedsOutlineModel::FolderRole).toBool());
    EXPECT_EQ(folder.data(FeedsOutlineModel::CountRole).toLongLong(), 5) << "a folder counts its feeds' unread";
    EXPECT_TRUE(folder.data(FeedsOutlineModel::IconRole).value<QPixmap>().isNull()) << "folders have no icon";
    ASSERT_EQ(f.model->rowCount(folder), 2);
    EXPECT_EQ(f.model->indexForItem(kernel.objectID()).data(FeedsOutlineModel::CountRole).toLongLong(), 3);
    EXPECT_TRUE(f.model->index(0, 0, folder).data(FeedsOutlineModel::IconRole).value<QPixmap>().isNull())
        << "icons wait until the folder opens";
    QSignalSpy iconsRead(f.model.get(), &QAbstractItemModel::dataChanged);
    f.model->loadIcons(folder);
    f.model->loadIcons(folder);
    EXPECT_EQ(iconsRead.count(), 1) << "once";
    for (int row = 0; row < 2; ++row) {
        const QPixmap icon = f.model->index(row, 0, folder).data(FeedsOutlineModel::IconRole).value<QPixmap>();
        EXPECT_FALSE(icon.isNull()) << "no image in the data gives the default icon";
        EXPECT_EQ(icon.size(), QSize(16, 16));
    }
    const int plainRow = f.model->indexForItem(plain.objectID()).row();
    const QString longName = f.name(plainRow);
    EXPECT_EQ(longName.size(), 10000 + 12);
    EXPECT_FALSE(longName.contains('\n')) << "one line";
    EXPECT_EQ(f.count(plainRow), 0);
    EXPECT_FALSE(f.model->index(plainRow, 0).data(FeedsOutlineModel::IconRole).value<QPixmap>().isNull())
        << "top-level feeds have theirs at once";

    // Items are object IDs, and turn back into rows and nodes.
    EXPECT_EQ(f.model->indexForItem(kernel.objectID()).parent(), folder);
    EXPECT_EQ(f.model->indexForItem(FeedsSmartGroup::starred), f.model->index(3, 0));
    EXPECT_TRUE(f.model->isFolder(tech.objectID()));
    EXPECT_FALSE(f.model->isFolder(plain.objectID()));
    auto node = f.model->objectValue(tech.objectID());
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->isFolder());
}

TEST(FeedsOutlineModel, FittingFollowsTheStoreAndReloadRowsRereadsTheSmartGroups) {
    ModelFixture f;
    Feed first = f.store.addFeed("First");
    f.makeModel();
    ASSERT_EQ(f.model->rowCount(), 7);
    EXPECT_EQ(f.count(0), 0);

    int resets = 0;
    QObject::connect(f.model.get(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    Folder folder = f.store.addFolder("Later");
    f.store.addFeed("Inside", folder);
    f.model->fit(f.model->storeTree());
    EXPECT_EQ(f.model->rowCount(), 8);
    EXPECT_EQ(resets, 0) << "rows come in one by one";
    EXPECT_EQ(f.model->rowCount(f.model->indexForItem(folder.objectID())), 1);

    f.store.addUnreadArticles(first, 4);
    QSignalSpy changed(f.model.get(), &QAbstractItemModel::dataChanged);
    f.model->reloadRows();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(f.count(0), 4);
    EXPECT_EQ(f.count(1), 4) << "unread";
    EXPECT_EQ(f.count(3), 0) << "starred";

    f.store.remove(first);
    f.model->fit(f.model->storeTree());
    EXPECT_EQ(f.model->rowCount(), 7);
    EXPECT_FALSE(f.model->indexForItem(first.objectID()).isValid());
    f.model->reload();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(f.model->snapshotTree(), f.model->storeTree());
}

TEST(FeedsCellView, IndentsByLevelAndColoursNamesByTheOrder) {
    test::SidebarStore store;
    EXPECT_EQ(FeedsCellView::imageViewLeft(0), 26);
    EXPECT_EQ(FeedsCellView::imageViewLeft(1), 54);
    EXPECT_EQ(FeedsRowView::height, 28);

    FeedsOutlineModel model(store.nodes, *store.articles, store.controller);
    FeedsCellView cell(*store.articles);
    const ThemeColors& colors = ThemesManager::shared().colors();
    const QColor orange = FeedsCellView::systemOrange();
    for (bool ascending : {false, true}) {
        store.articles->setSortUnreadAscending(ascending);
        for (int row = 0; row < 6; ++row) {
            const QModelIndex index = model.index(row, 0);
            const bool orangeRow = ascending && (row == 1 || row == 2);
            for (bool selected : {false, true}) {
                const QColor plain = selected ? colors.feedSelectedName : colors.feedName;
                EXPECT_EQ(cell.nameColor(index, selected), orangeRow ? orange : plain) << row << selected;
                EXPECT_EQ(cell.countColor(selected), plain) << "counts are never orange";
            }
        }
    }
}

}  // namespace
