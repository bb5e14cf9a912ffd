#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/Logger.h"
#include "store/Preferences.h"
#include "support/SyncedStoreDouble.h"
#include "support/TempDir.h"

using namespace tallowmere;
using defaults::Date;
using defaults::Value;

namespace {

using Key = Preferences::Key;
using KeyPath = Preferences::KeyPath;

class PreferencesTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return dir_.path() / "settings.json"; }

    Preferences& preferences() {
        if (!preferences_) preferences_ = std::make_unique<Preferences>(defaults_, cloud_);
        return *preferences_;
    }

    // Counts the local writes of `key` from now on.
    std::shared_ptr<int> countLocalWrites(const std::string& key) {
        auto count = std::make_shared<int>(0);
        tokens_.push_back(defaults_->addObserver(key, [count](const std::string&) { ++*count; }));
        return count;
    }

    std::shared_ptr<int> countNotifications(const std::string& keyPath) {
        auto count = std::make_shared<int>(0);
        auto token = preferences().observe(keyPath, [count](const std::string&) { ++*count; });
        EXPECT_TRUE(token.isActive()) << keyPath;
        tokens_.push_back(std::move(token));
        return count;
    }

    test::TempDir dir_;
    std::shared_ptr<defaults::UserDefaults> defaults_ = std::make_shared<defaults::UserDefaults>(file());
    std::shared_ptr<test::SyncedStoreDouble> cloud_ = std::make_shared<test::SyncedStoreDouble>();
    std::unique_ptr<Preferences> preferences_;
    std::vector<defaults::ObserverToken> tokens_;
};

}  // namespace

TEST_F(PreferencesTest, FreshInstallationReadsTheDefaults) {
    auto& p = preferences();
    EXPECT_EQ(p.selectedFeedAtLaunch(), SelectedFeedAtLaunch::all);
    EXPECT_EQ(p.feedsRefreshInterval(), FeedsRefreshInterval::fiveMinutes);
    EXPECT_TRUE(p.showUnreadArticlesCountBadge());
    EXPECT_FALSE(p.alwaysShowFullArticle());
    EXPECT_TRUE(p.showNewArticleNotification());
    EXPECT_FALSE(p.openArticleInSafari());
    EXPECT_TRUE(p.openSafariInReaderMode());
    EXPECT_FALSE(p.showOldestUnreadArticlesFirst());
    EXPECT_FALSE(p.groupArticlesByFeed());
    EXPECT_TRUE(p.cloudEnabled());
    // Not registered: an absent theme reads as 0, not as the automatic default.
    EXPECT_EQ(p.themeType(), ThemeType::espresso);
    EXPECT_FALSE(p.guidSyncDate());
    EXPECT_EQ(defaults_->dictionaryRepresentation().size(), 10u);
    EXPECT_TRUE(cloud_->writes().empty());
    EXPECT_EQ(cloud_->synchronizeCount(), 1);
}

TEST_F(PreferencesTest, OutOfRangeStoredValuesReadAsTheDefaults) {
    struct Case {
        const char* key;
        Value stored;
        std::function<int(const Preferences&)> read;
        int expected;
    };
    const auto interval = [](const Preferences& p) { return rawValue(p.feedsRefreshInterval()); };
    const auto launch = [](const Preferences& p) { return rawValue(p.selectedFeedAtLaunch()); };
    const auto theme = [](const Preferences& p) { return rawValue(p.themeType()); };
    const std::vector<Case> cases = {
        {Key::feedsRefreshInterval, Value(7), interval, 5},
        {Key::feedsRefreshInterval, Value(-2), interval, 5},
        {Key::feedsRefreshInterval, Value(2.5), interval, 5},
        {Key::feedsRefreshInterval, Value(1e300), interval, 5},
        {Key::feedsRefreshInterval, Value(-1), interval, -1},
        {Key::feedsRefreshInterval, Value(0), interval, 0},
        {Key::feedsRefreshInterval, Value(60), interval, 60},
        {Key::selectedFeedAtLaunch, Value(2), launch, 0},
        {Key::selectedFeedAtLaunch, Value(-1), launch, 0},
        {Key::selectedFeedAtLaunch, Value(1), launch, 1},
        {Key::themeType, Value(8), theme, -1},
        {Key::themeType, Value(-2), theme, -1},
        {Key::themeType, Value(std::int64_t{1} << 40), theme, -1},
        {Key::themeType, Value(-1), theme, -1},
        {Key::themeType, Value(7), theme, 7},
        {Key::themeType, Value(3), theme, 3},
    };
    for (const auto& c : cases) {
        defaults_->set(c.key, c.stored);
        EXPECT_EQ(c.read(preferences()), c.expected) << c.key << " = " << c.stored.description();
    }
    defaults_->set(Key::guidSyncDate, Value("2025-12-10T13:18:09Z"));
    EXPECT_FALSE(preferences().guidSyncDate()) << "a text is no date";
    defaults_->set(Key::guidSyncDate, Value(5));
    EXPECT_FALSE(preferences().guidSyncDate());
}

TEST_F(PreferencesTest, SettingTheCurrentValueWritesNothingButObserversHearIt) {
    struct Case {
        const char* key;
        const char* keyPath;  // nullptr when not observable
        std::function<void(Preferences&)> assignCurrent;
    };
    const std::vector<Case> cases = {
        {Key::selectedFeedAtLaunch, nullptr,
         [](Preferences& p) { p.setSelectedFeedAtLaunch(p.selectedFeedAtLaunch()); }},
        {Key::feedsRefreshInterval, KeyPath::feedsRefreshInterval,
         [](Preferences& p) { p.setFeedsRefreshInterval(p.feedsRefreshInterval()); }},
        {Key::showUnreadArticlesCountBadge, KeyPath::showUnreadArticlesCountBadge,
         [](Preferences& p) { p.setShowUnreadArticlesCountBadge(p.showUnreadArticlesCountBadge()); }},
        {Key::alwaysShowFullArticle, nullptr,
         [](Preferences& p) { p.setAlwaysShowFullArticle(p.alwaysShowFullArticle()); }},
        {Key::showNewArticleNotification, nullptr,
         [](Preferences& p) { p.setShowNewArticleNotification(p.showNewArticleNotification()); }},
        {Key::openArticleInSafari, nullptr,
         [](Preferences& p) { p.setOpenArticleInSafari(p.openArticleInSafari()); }},
        {Key::openSafariInReaderMode, nullptr,
         [](Preferences& p) { p.setOpenSafariInReaderMode(p.openSafariInReaderMode()); }},
        {Key::showOldestUnreadArticlesFirst, KeyPath::showOldestUnreadArticlesFirst,
         [](Preferences& p) { p.setShowOldestUnreadArticlesFirst(p.showOldestUnreadArticlesFirst()); }},
        {Key::groupArticlesByFeed, KeyPath::groupArticlesByFeed,
         [](Preferences& p) { p.setGroupArticlesByFeed(p.groupArticlesByFeed()); }},
        {Key::cloudEnabled, KeyPath::cloudEnabled,
         [](Preferences& p) { p.setCloudEnabled(p.cloudEnabled()); }},
        {Key::themeType, KeyPath::themeType, [](Preferences& p) { p.setThemeType(p.themeType()); }},
        {Key::guidSyncDate, nullptr, [](Preferences& p) { p.setGuidSyncDate(p.guidSyncDate()); }},
    };
    for (const auto& c : cases) {
        cloud_->clearWrites();
        const auto local = countLocalWrites(c.key);
        const auto heard = c.keyPath ? countNotifications(c.keyPath) : nullptr;
        c.assignCurrent(preferences());
        EXPECT_EQ(*local, 0) << c.key;
        EXPECT_TRUE(cloud_->writes().empty()) << c.key;
        if (heard) {
            EXPECT_EQ(*heard, 1) << c.keyPath;
        }
    }
}

TEST_F(PreferencesTest, TheSameDateAfterARestartWritesNothing) {
    const Date date = Date(std::chrono::nanoseconds(1700000000123456789LL));
    preferences().setGuidSyncDate(date);
    ASSERT_FALSE(defaults_->synchronize());
    auto reopenedDefaults = std::make_shared<defaults::UserDefaults>(file());
    Preferences reopened(reopenedDefaults, cloud_);
    int local = 0;
    auto token = reopenedDefaults->addObserver(Key::guidSyncDate, [&](const std::string&) { ++local; });
    cloud_->clearWrites();
    reopened.setGuidSyncDate(date);
    EXPECT_EQ(local, 0);
    EXPECT_TRUE(cloud_->writes().empty());
}

TEST_F(PreferencesTest, ChangedValuesGoToBothStoresExceptCloudSwitchThemeAndSyncDate) {
    struct Case {
        const char* key;
        std::function<void(Preferences&)> change;
        std::optional<Value> stored;
        bool synced;
    };
    const Date date = Date(std::chrono::milliseconds(1700000000123));
    const std::vector<Case> cases = {
        {Key::selectedFeedAtLaunch,
         [](Preferences& p) { p.setSelectedFeedAtLaunch(SelectedFeedAtLaunch::last); }, Value(1), true},
        {Key::feedsRefreshInterval,
         [](Preferences& p) { p.setFeedsRefreshInterval(FeedsRefreshInterval::never); }, Value(-1), true},
        {Key::showUnreadArticlesCountBadge, [](Preferences& p) { p.setShowUnreadArticlesCountBadge(false); },
         Value(false), true},
        {Key::alwaysShowFullArticle, [](Preferences& p) { p.setAlwaysShowFullArticle(true); }, Value(true),
         true},
        {Key::showNewArticleNotification, [](Preferences& p) { p.setShowNewArticleNotification(false); },
         Value(false), true},
        {Key::openArticleInSafari, [](Preferences& p) { p.setOpenArticleInSafari(true); }, Value(true), true},
        {Key::openSafariInReaderMode, [](Preferences& p) { p.setOpenSafariInReaderMode(false); },
         Value(false), true},
        {Key::showOldestUnreadArticlesFirst, [](Preferences& p) { p.setShowOldestUnreadArticlesFirst(true); },
         Value(true), true},
        {Key::groupArticlesByFeed, [](Preferences& p) { p.setGroupArticlesByFeed(true); }, Value(true), true},
        {Key::cloudEnabled, [](Preferences& p) { p.setCloudEnabled(false); }, Value(false), false},
        {Key::themeType, [](Preferences& p) { p.setThemeType(ThemeType::automatic); }, Value(-1), false},
        {Key::guidSyncDate, [date](Preferences& p) { p.setGuidSyncDate(date); }, Value(date), false},
        {Key::guidSyncDate, [](Preferences& p) { p.setGuidSyncDate(std::nullopt); }, std::nullopt, false},
    };
    for (const auto& c : cases) {
        cloud_->clearWrites();
        c.change(preferences());
        EXPECT_EQ(defaults_->object(c.key) == c.stored, true) << c.key;
        const auto writes = cloud_->writes();
        if (c.synced) {
            ASSERT_EQ(writes.size(), 1u) << c.key;
            EXPECT_EQ(writes[0], (test::SyncedStoreDouble::Write{c.key, c.stored})) << c.key;
        } else {
            EXPECT_TRUE(writes.empty()) << c.key;
        }
    }
    // Everything read back after a restart.
    ASSERT_FALSE(defaults_->synchronize());
    Preferences reopened(std::make_shared<defaults::UserDefaults>(file()),
                         std::make_shared<test::SyncedStoreDouble>());
    EXPECT_EQ(reopened.selectedFeedAtLaunch(), SelectedFeedAtLaunch::last);
    EXPECT_EQ(reopened.feedsRefreshInterval(), FeedsRefreshInterval::never);
    EXPECT_FALSE(reopened.cloudEnabled());
    EXPECT_EQ(reopened.themeType(), ThemeType::automatic);
    EXPECT_TRUE(reopened.groupArticlesByFeed());
    EXPECT_FALSE(reopened.guidSyncDate());
}

TEST_F(PreferencesTest, StartCopiesOnlySyncedKeysUnknownLocally) {
    const Date synced = Date(std::chrono::seconds(1600000000));
    cloud_->set(Key::guidSyncDate, Value(synced));
    cloud_->set(Key::groupArticlesByFeed, Value(true));
    cloud_->set(Key::feedsRefreshInterval, Value(60));
    EXPECT_FALSE(preferences().guidSyncDate()) << "another device's reconciliation date stays there";
    EXPECT_FALSE(preferences().groupArticlesByFeed()) << "the registered default answers for it";
    EXPECT_EQ(preferences().feedsRefreshInterval(), FeedsRefreshInterval::fiveMinutes);

    // A date already stored locally is left alone.
    preferences_.reset();
    const Date local = Date(std::chrono::seconds(1650000000));
    defaults_->set(Key::guidSyncDate, Value(local));
    EXPECT_EQ(preferences().guidSyncDate(), local);
}

TEST_F(PreferencesTest, ExternalChangesFollowTheirTable) {
    auto& p = preferences();
    p.setAlwaysShowFullArticle(true);
    p.setOpenArticleInSafari(true);
    p.setGuidSyncDate(Date(std::chrono::seconds(100)));
    const auto intervalHeard = countNotifications(KeyPath::feedsRefreshInterval);
    const auto badgeHeard = countNotifications(KeyPath::showUnreadArticlesCountBadge);
    const auto groupHeard = countNotifications(KeyPath::groupArticlesByFeed);
    const auto cloudHeard = countNotifications(KeyPath::cloudEnabled);
    const auto themeHeard = countNotifications(KeyPath::themeType);
    const Date remoteDate = Date(std::chrono::seconds(200));

    cloud_->applyRemoteChange({
        {Key::feedsRefreshInterval, Value(15)},
        {Key::selectedFeedAtLaunch, Value(1)},
        {Key::showUnreadArticlesCountBadge, std::nullopt},  // removed: reads false
        {Key::groupArticlesByFeed, Value(true)},
        {Key::alwaysShowFullArticle, std::nullopt},  // removed: local turns false
        {Key::openArticleInSafari, Value(true)},     // equal to the local value
        {Key::showNewArticleNotification, Value(false)},
        {Key::cloudEnabled, Value(false)},
        {Key::themeType, Value(3)},
        {Key::guidSyncDate, Value(remoteDate)},
        {"SomethingElse", Value(1)},
    });
    EXPECT_EQ(p.feedsRefreshInterval(), FeedsRefreshInterval::fifteenMinutes);
    EXPECT_EQ(p.selectedFeedAtLaunch(), SelectedFeedAtLaunch::last);
    EXPECT_FALSE(p.showUnreadArticlesCountBadge());
    EXPECT_TRUE(p.groupArticlesByFeed());
    EXPECT_FALSE(p.alwaysShowFullArticle());
    EXPECT_TRUE(p.openArticleInSafari());
    EXPECT_FALSE(p.showNewArticleNotification());
    EXPECT_TRUE(p.cloudEnabled()) << "the cloud switch stays local";
    EXPECT_EQ(p.themeType(), ThemeType::espresso) << "the theme stays local";
    EXPECT_EQ(p.guidSyncDate(), Date(std::chrono::seconds(100))) << "the reconciliation date stays local";
    EXPECT_FALSE(defaults_->object("SomethingElse"));
    EXPECT_EQ(*intervalHeard, 1);
    EXPECT_EQ(*badgeHeard, 1);
    EXPECT_EQ(*groupHeard, 1);
    EXPECT_EQ(*cloudHeard, 0);
    EXPECT_EQ(*themeHeard, 0);
    // Applied changes were written to the file at once.
    defaults::UserDefaults onDisk(file());
    EXPECT_EQ(onDisk.integer(Key::feedsRefreshInterval), 15);
}

TEST_F(PreferencesTest, ExternalChangesOutOfRangeOrOfTheWrongKindAreIgnored) {
    auto& p = preferences();
    p.setSelectedFeedAtLaunch(SelectedFeedAtLaunch::last);
    p.setGuidSyncDate(Date(std::chrono::seconds(100)));
    const auto intervalHeard = countNotifications(KeyPath::feedsRefreshInterval);
    cloud_->applyRemoteChange({
        {Key::feedsRefreshInterval, Value(7)},
        {Key::selectedFeedAtLaunch, Value(5)},
        {Key::guidSyncDate, Value("not a date")},
    });
    EXPECT_EQ(p.feedsRefreshInterval(), FeedsRefreshInterval::fiveMinutes);
    EXPECT_EQ(*intervalHeard, 0);
    EXPECT_EQ(p.selectedFeedAtLaunch(), SelectedFeedAtLaunch::last);
    // The reconciliation date is this device's own: nothing from outside touches it.
    EXPECT_EQ(p.guidSyncDate(), Date(std::chrono::seconds(100)));
}

TEST_F(PreferencesTest, ReportsWithoutKeysChangeNothingAndEmptyOnesStillSynchronize) {
    auto& p = preferences();
    p.setGroupArticlesByFeed(true);  // in memory only so far
    cloud_->postRawChange(defaults::SyncedStoreChange{std::nullopt});
    EXPECT_FALSE(std::filesystem::exists(file())) << "a malformed report does nothing at all";
    cloud_->postRawChange(defaults::SyncedStoreChange{std::vector<std::string>{}});
    EXPECT_TRUE(defaults::UserDefaults(file()).boolean(Key::groupArticlesByFeed));
}

TEST_F(PreferencesTest, ExternalChangesReachObserversOnTheDeliveringThread) {
    std::mutex mutex;
    std::thread::id heardOn;
    auto token =
        preferences().observe(KeyPath::showOldestUnreadArticlesFirst, [&](const std::string& keyPath) {
            EXPECT_EQ(keyPath, KeyPath::showOldestUnreadArticlesFirst);
            std::lock_guard lock(mutex);
            heardOn = std::this_thread::get_id();
        });
    std::thread delivering([&] {
        cloud_->applyRemoteChange({{Key::showOldestUnreadArticlesFirst, Value(true)}});
    });
    const auto deliveringId = delivering.get_id();
    delivering.join();
    std::lock_guard lock(mutex);
    EXPECT_EQ(heardOn, deliveringId);
    EXPECT_TRUE(preferences().showOldestUnreadArticlesFirst());
}

TEST_F(PreferencesTest, OnlyTheSixObservableKeyPathsCanBeObserved) {
    for (const char* keyPath : {"alwaysShowFullArticle", "guidSyncDate", "ThemeType", ""}) {
        EXPECT_FALSE(preferences().observe(keyPath, [](const std::string&) {}).isActive()) << keyPath;
    }
    int heard = 0;
    auto token = preferences().observe(KeyPath::themeType, [&](const std::string&) { ++heard; });
    preferences().setThemeType(ThemeType::mint);
    token.cancel();
    preferences().setThemeType(ThemeType::mocha);
    EXPECT_EQ(heard, 1);
}

TEST_F(PreferencesTest, StopsListeningToTheSyncedStoreWhenGone) {
    preferences();
    preferences_.reset();
    cloud_->applyRemoteChange({{Key::groupArticlesByFeed, Value(true)}});
    EXPECT_FALSE(defaults_->boolean(Key::groupArticlesByFeed));
}

TEST_F(PreferencesTest, CorruptSettingsFileIsLoggedAndTheDefaultsApply) {
    std::ofstream(file()) << R"({"FeedsRefreshInterval": 60, )";
    std::mutex mutex;
    std::vector<std::string> lines;
    Logger::setSink([&](std::string_view line) {
        std::lock_guard lock(mutex);
        lines.emplace_back(line);
    });
    Preferences p(std::make_shared<defaults::UserDefaults>(file()), cloud_);
    Logger::drain();
    Logger::setSink(nullptr);
    EXPECT_EQ(p.feedsRefreshInterval(), FeedsRefreshInterval::fiveMinutes);
    bool setAside = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
        setAside = setAside || entry.path().filename().string().starts_with("settings.json.corrupt-");
    EXPECT_TRUE(setAside);
    std::lock_guard lock(mutex);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[WARNING]: "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("settings.json.corrupt"), std::string::npos) << lines[0];
}

TEST(PreferencesShared, IsReplaceableAndOtherwiseUsesTheStandardStores) {
    test::TempDir dir;
    auto custom =
        std::make_shared<Preferences>(std::make_shared<defaults::UserDefaults>(dir.path() / "settings.json"),
                                      std::make_shared<test::SyncedStoreDouble>());
    Preferences::replaceShared(custom);
    EXPECT_EQ(Preferences::shared(), custom);
    Preferences::replaceShared(nullptr);
    const auto standard = Preferences::shared();
    EXPECT_NE(standard, custom);
    EXPECT_EQ(Preferences::shared(), standard);
    EXPECT_EQ(standard->defaults().file(), defaults::UserDefaults::standardFile());
    EXPECT_EQ(&standard->cloudStore(), defaults::SyncedStore::defaultStore().get());
    Preferences::replaceShared(nullptr);
}
