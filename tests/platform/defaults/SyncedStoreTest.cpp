#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/defaults/LocalSyncedStore.h"
#include "support/SyncedStoreDouble.h"

using namespace tallowmere;
using namespace tallowmere::defaults;

TEST(LocalSyncedStore, KeepsValuesAndNeverReportsExternalChanges) {
    LocalSyncedStore store;
    int reports = 0;
    auto token = store.addExternalChangeObserver([&](const SyncedStoreChange&) { ++reports; });
    EXPECT_TRUE(token.isActive());
    store.set("Interval", Value(15));
    store.set("Badge", Value(true));
    store.set("Date", Value(Date(std::chrono::seconds(5))));
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(store.integer("Interval"), 15);
    EXPECT_TRUE(store.boolean("Badge"));
    EXPECT_FALSE(store.boolean("Missing"));
    EXPECT_EQ(store.integer("Missing"), 0);
    store.removeObject("Badge");
    EXPECT_FALSE(store.object("Badge"));
    EXPECT_EQ(store.dictionaryRepresentation().size(), 2u);
    EXPECT_EQ(reports, 0);
}

TEST(LocalSyncedStore, DefaultStoreCanBeReplaced) {
    const auto original = SyncedStore::defaultStore();
    ASSERT_TRUE(original);
    EXPECT_EQ(SyncedStore::defaultStore(), original);
    auto replacement = std::make_shared<LocalSyncedStore>();
    SyncedStore::setDefaultStore(replacement);
    EXPECT_EQ(SyncedStore::defaultStore(), replacement);
    SyncedStore::setDefaultStore(original);
}

TEST(SyncedStoreDouble, RemoteChangesUpdateValuesThenReportOnTheCallingThread) {
    test::SyncedStoreDouble store;
    store.set("Gone", Value(true));
    store.clearWrites();
    std::vector<std::string> keys;
    std::optional<Value> seen;
    std::thread::id thread;
    auto token = store.addExternalChangeObserver([&](const SyncedStoreChange& change) {
        ASSERT_TRUE(change.changedKeys);
        keys = *change.changedKeys;
        seen = store.object("Interval");
        thread = std::this_thread::get_id();
    });
    std::thread([&] { store.applyRemoteChange({{"Interval", Value(30)}, {"Gone", std::nullopt}}); }).join();
    EXPECT_EQ(keys, (std::vector<std::string>{"Interval", "Gone"}));
    EXPECT_EQ(seen, Value(30));
    EXPECT_FALSE(store.object("Gone"));
    EXPECT_NE(thread, std::this_thread::get_id());
    EXPECT_TRUE(store.writes().empty()) << "remote changes are not local writes";

    token.cancel();
    store.applyRemoteChange({{"Interval", Value(60)}});
    EXPECT_EQ(keys.size(), 2u);
}
