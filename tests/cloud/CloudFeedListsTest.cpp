#include <gtest/gtest.h>
#include <sqlite3.h>

#include <ctime>

#include "FeedListDevice.h"
#include "cloud/CalendarDays.h"
#include "cloud/CloudFeedEntryText.h"
#include "foundation/URL.h"
#include "support/LogCapture.h"
#include "support/ZoneScope.h"

namespace tallowmere {
namespace {

using cloud::Date;
using cloud::Record;
using test::FeedListDevice;
using test::secondsDate;
using test::storedList;
using Key = ContainerCloudUserManager::GUIDKey;
using Kind = test::FaultInjectingDatabase::Kind;
using Texts = std::vector<std::string>;

using test::ZoneScope;

// The account's identity record with these fields set, written as another
// device would; the device's GUID names it.
void writeRecord(FeedListDevice& device, const std::filesystem::path& cloudFolder,
                 const std::function<void(Record&)>& fill) {
    const auto guid = test::await<std::optional<std::string>>([&](auto done) { device.cloud.user->getGUID(done); });
    ASSERT_TRUE(guid);
    auto container = cloud::Container::make(cloud::Configuration::localFile(cloudFolder / "cloud.sqlite", "alice"));
    auto existing = test::cloudcalls::fetch(*container->publicDatabase(), {cloud::RecordID(*guid)});
    Record record = existing.records.empty() ? Record("guid", cloud::RecordID(*guid)) : existing.records.begin()->second;
    record.set(Key::guid, *guid);
    fill(record);
    test::cloudcalls::saveOne(*container->publicDatabase(), record);
}

TEST(CloudFeedEntryText, EntriesAreWrittenAndReadAsTheListsCarryThem) {
    struct Case {
        std::optional<std::string> folder;
        std::string entry;
    };
    const std::vector<Case> written = {
        {"Tech News", "https://a.example/feed Tech%20News"},
        {"100% Cotton", "https://a.example/feed 100%25%20Cotton"},
        {"Ünïcode/&?", "https://a.example/feed Ünïcode/&?"},
        {std::nullopt, "https://a.example/feed"},
        {"", "https://a.example/feed"},
    };
    for (const auto& c : written) {
        EXPECT_EQ(CloudFeedEntryText::make("https://a.example/feed", c.folder), c.entry) << c.entry;
    }

    struct Read {
        std::string entry;
        std::optional<CloudFeedEntry> parsed;
    };
    const std::vector<Read> read = {
        {"https://a.example/feed Tech%20News", CloudFeedEntry{"https://a.example/feed", "Tech News"}},
        {"https://a.example/feed 100%25%20Cotton", CloudFeedEntry{"https://a.example/feed", "100% Cotton"}},
        {"https://a.example/feed", CloudFeedEntry{"https://a.example/feed", std::nullopt}},
        {"https://a.example/feed Tech%20News third fourth", CloudFeedEntry{"https://a.example/feed", "Tech News"}},
        {"https://a.example/feed Folder%ZZ", CloudFeedEntry{"https://a.example/feed", std::nullopt}},
        {"https://a.example/feed Folder%2", CloudFeedEntry{"https://a.example/feed", std::nullopt}},
        {"  https://a.example/feed   News ", CloudFeedEntry{"https://a.example/feed", "News"}},
        {"", std::nullopt},
        {"    ", std::nullopt},
    };
    for (const auto& c : read) {
        const auto parsed = CloudFeedEntryText::parse(c.entry);
        ASSERT_EQ(parsed.has_value(), c.parsed.has_value()) << c.entry;
        if (!parsed) continue;
        EXPECT_EQ(parsed->urlString, c.parsed->urlString) << c.entry;
        EXPECT_EQ(parsed->folder, c.parsed->folder) << c.entry;
    }
}

TEST(CalendarDays, CountsLocalCalendarDaysAcrossADaylightSavingChange) {
    ZoneScope zone("Europe/Berlin");
    // Sunday 22 March 2026, 12:00 CET; the clocks go forward on the 29th.
    const Date start = secondsDate(1774177200);
    EXPECT_EQ(CalendarDays::wholeDays(start, start + std::chrono::hours(6 * 24 + 22) + std::chrono::minutes(30)), 6)
        << "29 March 11:30 CEST";
    EXPECT_EQ(CalendarDays::wholeDays(start, start + std::chrono::hours(6 * 24 + 23)), 7)
        << "29 March 12:00 CEST: seven calendar days, though 23 hours short of 7 x 24";
    EXPECT_EQ(CalendarDays::wholeDays(start, start), 0);
    EXPECT_EQ(CalendarDays::wholeDays(start, start - std::chrono::hours(49)), -2);
}

class CloudFeedListsTest : public ::testing::Test {
protected:
    test::TempDir cloudFolder;
};

TEST_F(CloudFeedListsTest, SavingAllListsWritesEveryFeedWithItsFolderAndTheNotificationLists) {
    FeedListDevice device(cloudFolder.path());
    device.add("https://a.example/feed", "Tech News", true, NewsletterType::none);
    device.add("https://b.example/feed", "100% Cotton", false, NewsletterType::daily);
    device.add("https://c.example/feed", std::nullopt, false, NewsletterType::hourly);
    device.run([&](auto done) { device.cloud.user->saveAllFeedLists(done); });

    Texts feeds = storedList(cloudFolder.path(), Key::feeds);
    std::sort(feeds.begin(), feeds.end());
    EXPECT_EQ(feeds, (Texts{"https://a.example/feed Tech%20News", "https://b.example/feed 100%25%20Cotton",
                            "https://c.example/feed"}));
    EXPECT_EQ(storedList(cloudFolder.path(), Key::pushFeeds), Texts{"https://a.example/feed"});
    EXPECT_EQ(storedList(cloudFolder.path(), Key::newsletterHourlyFeeds), Texts{"https://c.example/feed"});
    EXPECT_EQ(storedList(cloudFolder.path(), Key::newsletterDailyFeeds), Texts{"https://b.example/feed"});
}

TEST_F(CloudFeedListsTest, NotificationListsWithoutADateLeaveTheNewsletterTime) {
    FeedListDevice device(cloudFolder.path());
    Feed feed = device.add("https://a.example/feed", std::nullopt, true);
    const Date seven = secondsDate(1765436400);  // a time of day of 07:00 or so in any zone
    device.run([&](auto done) { device.cloud.user->saveNotificationFeedLists(seven, done); });
    const auto before = test::storedGUIDRecord(cloudFolder.path());
    ASSERT_TRUE(before && before->get<std::int64_t>(Key::newsletterDailyHour));

    device.nodes->setNotifyUpdates(feed, false);
    device.run([&](auto done) { device.cloud.user->saveNotificationFeedLists(std::nullopt, done); });
    const auto after = test::storedGUIDRecord(cloudFolder.path());
    ASSERT_TRUE(after);
    EXPECT_EQ(after->get<Texts>(Key::pushFeeds), Texts{}) << "the lists are written";
    for (const char* key : {Key::newsletterDailyHour, Key::newsletterDailyMinute}) {
        EXPECT_EQ(after->get<std::int64_t>(key), before->get<std::int64_t>(key)) << key;
    }
    EXPECT_EQ(after->get<Date>(Key::newsletterDailyNextUpdate), before->get<Date>(Key::newsletterDailyNextUpdate));
}

TEST_F(CloudFeedListsTest, AStoreThatCannotListTheNewsletterFeedsWritesNoNotificationList) {
    FeedListDevice device(cloudFolder.path());
    device.add("https://a.example/feed", std::nullopt, true);
    writeRecord(device, cloudFolder.path(), [](Record& r) {
        r.set(Key::pushFeeds, Texts{"https://kept.example/feed"});
        r.set(Key::newsletterDailyFeeds, Texts{"https://kept.example/feed"});
    });
    // Another program has changed the store under the running one.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((device.folder.path() / "Tallowmere.sqlite").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "ALTER TABLE node RENAME COLUMN newsletterType TO gone", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ASSERT_FALSE(device.nodes->feeds(NewsletterType::daily));

    device.run([&](auto done) { device.cloud.user->saveNotificationFeedLists(std::nullopt, done); });
    EXPECT_EQ(storedList(cloudFolder.path(), Key::pushFeeds), Texts{"https://kept.example/feed"});
    EXPECT_EQ(storedList(cloudFolder.path(), Key::newsletterDailyFeeds), Texts{"https://kept.example/feed"});
}

TEST_F(CloudFeedListsTest, NotificationSettingsOfAFeedComeFromTheRecordsLists) {
    const std::string url = "https://a.example/feed";
    {
        FeedListDevice device(cloudFolder.path());
        const auto answer = test::await<std::pair<bool, NewsletterType>>([&](auto done) {
            device.cloud.user->feedNotificationSettings(url, [done](bool n, NewsletterType t) { done({n, t}); });
        });
        EXPECT_EQ(answer, std::make_pair(true, NewsletterType::none)) << "no record yet";
    }
    struct Case {
        const char* name;
        std::function<void(Record&)> fill;
        bool notify;
        NewsletterType newsletter;
    };
    const std::vector<Case> cases = {
        {"no lists", [](Record& r) { r.remove(Key::pushFeeds); }, true, NewsletterType::none},
        {"push list of another kind", [](Record& r) { r.set(Key::pushFeeds, std::int64_t{1}); }, true,
         NewsletterType::none},
        {"listed for push", [&](Record& r) { r.set(Key::pushFeeds, Texts{url}); }, true, NewsletterType::none},
        {"not listed", [](Record& r) { r.set(Key::pushFeeds, Texts{"https://b.example/feed"}); }, false,
         NewsletterType::none},
        {"not exactly listed", [&](Record& r) { r.set(Key::pushFeeds, Texts{url + "/"}); }, false,
         NewsletterType::none},
        {"hourly", [&](Record& r) { r.set(Key::newsletterHourlyFeeds, Texts{url}); }, false, NewsletterType::hourly},
        {"daily before hourly", [&](Record& r) { r.set(Key::newsletterDailyFeeds, Texts{url}); }, false,
         NewsletterType::daily},
    };
    for (const auto& c : cases) {
        FeedListDevice device(cloudFolder.path());
        writeRecord(device, cloudFolder.path(), c.fill);
        const auto answer = test::await<std::pair<bool, NewsletterType>>([&](auto done) {
            device.cloud.user->feedNotificationSettings(url, [done](bool n, NewsletterType t) { done({n, t}); });
        });
        EXPECT_EQ(answer, std::make_pair(c.notify, c.newsletter)) << c.name;
    }
}

TEST_F(CloudFeedListsTest, CloudSettingsReachTheLocalFeeds) {
    FeedListDevice device(cloudFolder.path());
    Feed a = device.add("https://a.example/feed");
    Feed b = device.add("https://b.example/feed", std::nullopt, true);
    writeRecord(device, cloudFolder.path(), [](Record& r) {
        r.set(Key::pushFeeds, Texts{"https://a.example/feed"});
        r.set(Key::newsletterDailyFeeds, Texts{"https://b.example/feed"});
    });
    device.run([&](auto done) { device.cloud.user->fetchCloudFeeds(done); });
    device.controller->backgroundContext()->performAndWait([&] {
        EXPECT_TRUE(a.notifyUpdates());
        EXPECT_FALSE(b.notifyUpdates());
        EXPECT_EQ(b.newsletterType(), rawValue(NewsletterType::daily));
    });
}

TEST_F(CloudFeedListsTest, TwoDevicesAppendingAtOnceBothEndInTheRecord) {
    FeedListDevice a(cloudFolder.path());
    FeedListDevice b(cloudFolder.path());
    a.add("https://first.example/feed");
    a.run([&](auto done) { a.cloud.user->saveUserFeeds(done); });
    // Both hold the record as it is now; the second save meets a newer one.
    for (auto* device : {&a, &b}) {
        test::awaitDone([&](auto done) {
            device->cloud.user->feedNotificationSettings("x", [done](bool, NewsletterType) { done(); });
        });
    }
    auto saves = [&] {
        return a.cloud.container->publicFaults().requestCount(Kind::modifyRecords) +
               b.cloud.container->publicFaults().requestCount(Kind::modifyRecords);
    };
    const int savesBefore = saves();
    std::atomic<int> finished = 0;
    a.cloud.user->addFeed({{"https://a.example/feed", "A"}}, [&] { ++finished; });
    b.cloud.user->addFeed({{"https://b.example/feed", std::nullopt}}, [&] { ++finished; });
    ASSERT_TRUE(test::waitUntil([&] { return finished == 2; }));

    Texts feeds = storedList(cloudFolder.path(), Key::feeds);
    std::sort(feeds.begin(), feeds.end());
    EXPECT_EQ(feeds, (Texts{"https://a.example/feed A", "https://b.example/feed", "https://first.example/feed"}));
    EXPECT_EQ(saves() - savesBefore, 3) << "two appends and one rerun";
}

TEST_F(CloudFeedListsTest, ARecordThatKeepsChangingEndsAfterFiveRuns) {
    FeedListDevice device(cloudFolder.path());
    device.add("https://first.example/feed");
    device.run([&](auto done) { device.cloud.user->saveUserFeeds(done); });
    auto& faults = device.cloud.container->publicFaults();
    const int before = faults.requestCount(Kind::modifyRecords);
    faults.failNext(Kind::modifyRecords, 1000,
                    cloud::Error::make(cloud::ErrorCode::serverRecordChanged, "changed meanwhile"));
    test::LogCapture log;
    device.run([&](auto done) { device.cloud.user->addFeed({{"https://a.example/feed", std::nullopt}}, done); });
    EXPECT_EQ(faults.requestCount(Kind::modifyRecords) - before, ContainerCloudUserManager::maxFeedListRuns);
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find("[ERROR]: addFeed error: ") != std::string::npos; }),
              1);
    EXPECT_EQ(storedList(cloudFolder.path(), Key::feeds), Texts{"https://first.example/feed"});
}

TEST_F(CloudFeedListsTest, AppendsThatGiveNoFirstEntrySaveNothing) {
    FeedListDevice device(cloudFolder.path());
    writeRecord(device, cloudFolder.path(), [](Record& r) { r.set(Key::pushFeeds, Texts{}); });
    auto& faults = device.cloud.container->publicFaults();
    const int before = faults.requestCount(Kind::modifyRecords);
    device.run([&](auto done) { device.cloud.user->addFeed({}, done); });
    device.run([&](auto done) { device.cloud.user->addFeed({{"", std::nullopt}}, done); });
    EXPECT_EQ(faults.requestCount(Kind::modifyRecords), before);
}

// --- Start-up reconciliation ---

TEST_F(CloudFeedListsTest, ARecordSyncedMomentsAgoOrWithoutAUsableListChangesNothing) {
    struct Case {
        const char* name;
        std::function<void(Record&, Date now)> fill;
    };
    const std::vector<Case> cases = {
        {"synced two seconds ago",
         [](Record& r, Date now) {
             r.set(Key::feeds, Texts{"https://cloud.example/feed"});
             r.set(Key::lastSync, now - std::chrono::seconds(2));
         }},
        {"synced in the future",
         [](Record& r, Date now) {
             r.set(Key::feeds, Texts{"https://cloud.example/feed"});
             r.set(Key::lastSync, now + std::chrono::hours(1));
         }},
        {"feeds of another kind", [](Record& r, Date) { r.set(Key::feeds, std::string("https://cloud.example/feed")); }},
        {"no entry at all", [](Record& r, Date) { r.set(Key::feeds, Texts{"", "   "}); }},
    };
    for (const auto& c : cases) {
        FeedListDevice device(cloudFolder.path());
        const Date now = std::chrono::system_clock::now();
        device.cloud.user->setClock([now] { return now; });
        device.add("https://local.example/feed");
        writeRecord(device, cloudFolder.path(), [&](Record& r) { c.fill(r, now); });
        device.sync();
        EXPECT_EQ(device.feeds(), Texts{"https://local.example/feed"}) << c.name;
        EXPECT_EQ(device.additions, 0) << c.name;
        EXPECT_FALSE(device.preferences->guidSyncDate()) << c.name;
    }
}

TEST_F(CloudFeedListsTest, ARecordOfInvalidURLsDeletesNothing) {
    const Texts invalid = {"http://[::1", "://", "http://exa%mple.com:99999/"};
    for (const auto& text : invalid) ASSERT_FALSE(URL::parse(text)) << text;
    FeedListDevice device(cloudFolder.path());
    device.add("https://a.example/feed", "News");
    device.add("https://b.example/feed");
    writeRecord(device, cloudFolder.path(), [&](Record& r) { r.set(Key::feeds, invalid); });
    device.sync();
    const Texts feeds = device.feeds();
    EXPECT_NE(std::find(feeds.begin(), feeds.end(), "https://a.example/feed News"), feeds.end());
    EXPECT_NE(std::find(feeds.begin(), feeds.end(), "https://b.example/feed"), feeds.end());
    EXPECT_TRUE(device.preferences->guidSyncDate()) << "the reconciliation itself ran";
}

TEST_F(CloudFeedListsTest, TheSevenDayRuleCountsCalendarDaysAcrossADaylightSavingChange) {
    ZoneScope zone("Europe/Berlin");
    const Date lastSync = secondsDate(1774177200);  // 22 March 2026, 12:00 CET
    struct Case {
        const char* name;
        Date now;
        bool reconciles;
    };
    const std::vector<Case> cases = {
        {"29 March 11:30 CEST, six days", lastSync + std::chrono::hours(6 * 24 + 22) + std::chrono::minutes(30), false},
        {"29 March 12:00 CEST, seven days", lastSync + std::chrono::hours(6 * 24 + 23), true},
    };
    for (const auto& c : cases) {
        FeedListDevice device(cloudFolder.path());
        device.preferences->setGuidSyncDate(lastSync);
        device.cloud.user->setClock([now = c.now] { return now; });
        device.add("https://a.example/feed");
        writeRecord(device, cloudFolder.path(), [](Record& r) {
            r.remove(Key::lastSync);
            r.set(Key::feeds, Texts{"https://a.example/feed", "https://b.example/feed Later"});
        });
        device.sync();
        const Texts expected = c.reconciles ? Texts{"https://a.example/feed", "https://b.example/feed Later"}
                                            : Texts{"https://a.example/feed"};
        EXPECT_EQ(device.feeds(), expected) << c.name;
        EXPECT_EQ(device.preferences->guidSyncDate() != lastSync, c.reconciles) << c.name;
        const auto record = test::storedGUIDRecord(cloudFolder.path());
        EXPECT_EQ(record->get<Date>(Key::lastSync) == c.now, c.reconciles) << c.name;
    }
}

TEST_F(CloudFeedListsTest, FeedsMadeSinceTheLastReconciliationAreKeptAndReachTheRecord) {
    FeedListDevice device(cloudFolder.path());
    const Date lastSync = std::chrono::system_clock::now() - std::chrono::hours(24);
    device.preferences->setGuidSyncDate(lastSync);
    Feed old = device.add("https://old.example/feed");
    device.controller->backgroundContext()->performAndWait([&] {
        old.setCreatedAt(graph::Date{std::chrono::duration<double>((lastSync - std::chrono::hours(1)).time_since_epoch()).count()});
        ASSERT_TRUE(device.controller->backgroundContext()->save().ok());
    });
    device.add("https://offline.example/feed", "Added Offline");
    writeRecord(device, cloudFolder.path(), [](Record& r) { r.set(Key::feeds, Texts{"https://cloud.example/feed"}); });

    device.sync();
    EXPECT_EQ(device.feeds(), (Texts{"https://cloud.example/feed", "https://offline.example/feed Added%20Offline"}))
        << "the old feed the record lacks goes, the one made since the last reconciliation stays";
    EXPECT_EQ(storedList(cloudFolder.path(), Key::feeds),
              (Texts{"https://cloud.example/feed", "https://offline.example/feed Added%20Offline"}));
    EXPECT_GT(*device.preferences->guidSyncDate(), lastSync);
}

TEST_F(CloudFeedListsTest, AFirstReconciliationLetsTheRecordWin) {
    FeedListDevice device(cloudFolder.path());
    device.add("https://mine.example/feed");
    writeRecord(device, cloudFolder.path(),
                [](Record& r) { r.set(Key::feeds, Texts{"https://cloud.example/feed Tech%20News", "https://cloud.example/feed"}); });
    device.sync();
    EXPECT_EQ(device.feeds(), Texts{"https://cloud.example/feed Tech%20News"});
    EXPECT_EQ(storedList(cloudFolder.path(), Key::feeds).size(), 2u) << "the record is left as it is";
}

TEST_F(CloudFeedListsTest, AFirstSyncWithoutARecordUploadsTheLocalFeeds) {
    FeedListDevice device(cloudFolder.path());
    device.add("https://mine.example/feed", "Mine");
    device.sync();
    EXPECT_EQ(storedList(cloudFolder.path(), Key::feeds), Texts{"https://mine.example/feed Mine"});
}

}  // namespace
}  // namespace tallowmere
