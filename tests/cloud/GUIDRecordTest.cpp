#include <gtest/gtest.h>

#include <ctime>

#include "CloudDevice.h"
#include "cloud/NewsletterTime.h"
#include "support/CloudCalls.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace tallowmere {
namespace {

using cloud::Error;
using cloud::ErrorCode;
using cloud::Record;
using test::await;
using test::secondsDate;
using Key = ContainerCloudUserManager::GUIDKey;
using Kind = test::FaultInjectingDatabase::Kind;

struct Fetched {
    std::optional<Record> record;
    std::optional<GUIDInfo> info;
    std::optional<CloudUserFailure> failure;
};

Fetched fetchGUIDRecord(ContainerCloudUserManager& user) {
    return await<Fetched>([&](std::function<void(Fetched)> done) {
        user.guidRecordQueue().async([&user, done] {
            user.fetchGUIDRecord([done](auto record, auto info, auto failure) { done({record, info, failure}); });
        });
    });
}

// Fetches the record and saves the values on it, or on a new one.
std::optional<CloudUserFailure> saveGUIDRecord(ContainerCloudUserManager& user, const std::string& guid,
                                               std::optional<cloud::Date> dailyDate,
                                               std::optional<std::vector<CloudFeedList>> lists = std::nullopt) {
    const Fetched fetched = fetchGUIDRecord(user);
    return await<std::optional<CloudUserFailure>>([&](auto done) {
        user.makeGUIDRecord(fetched.record, fetched.failure, guid, lists, dailyDate, done);
    });
}

Record storedGUIDRecord(const std::filesystem::path& folder, const std::string& guid) {
    auto container = cloud::Container::make(cloud::Configuration::localFile(folder / "cloud.sqlite", "bob"));
    auto fetched = test::cloudcalls::fetch(*container->publicDatabase(), {cloud::RecordID(guid)});
    EXPECT_FALSE(fetched.error);
    return fetched.records.begin()->second;
}

class GUIDRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto answer = await<std::optional<std::string>>([&](auto done) { device.user->getGUID(done); });
        ASSERT_TRUE(answer);
        guid = *answer;
    }
    test::TempDir folder;
    test::CloudDevice device{folder.path()};
    std::string guid;
};

TEST_F(GUIDRecordTest, TheFirstSaveCreatesTheRecordNamedByTheGUIDAndLaterFetchesAreCached) {
    const Fetched first = fetchGUIDRecord(*device.user);
    EXPECT_FALSE(first.record);
    EXPECT_FALSE(first.failure);
    const std::vector<CloudFeedList> lists{{{"https://example.com/feed"}, CloudFeedsType::user},
                                           {{}, CloudFeedsType::push}};
    ASSERT_EQ(saveGUIDRecord(*device.user, guid, std::nullopt, lists), std::nullopt);

    const Record stored = storedGUIDRecord(folder.path(), guid);
    EXPECT_EQ(stored.recordType(), "guid");
    EXPECT_EQ(stored.get<std::string>(Key::guid), guid);
    EXPECT_EQ(stored.get<std::vector<std::string>>(Key::feeds), std::vector<std::string>{"https://example.com/feed"});
    EXPECT_EQ(stored.get<std::vector<std::string>>(Key::pushFeeds), std::vector<std::string>{});
    EXPECT_EQ(stored.value(Key::newsletterDailyFeeds), nullptr);
    EXPECT_EQ(stored.value(Key::newsletterDailyHour), nullptr);
    EXPECT_TRUE(stored.get<std::int64_t>(Key::timezoneSecondsOffset));

    const int queries = device.container->publicFaults().requestCount(Kind::query);
    EXPECT_TRUE(fetchGUIDRecord(*device.user).record);
    EXPECT_TRUE(fetchGUIDRecord(*device.user).record);
    EXPECT_EQ(device.container->publicFaults().requestCount(Kind::query), queries);
}

TEST_F(GUIDRecordTest, NewsletterTimeIsStoredInTheLocalZoneAndReadBackByAnotherDevice) {
    test::ScopedEnv zone("TZ", "America/New_York");
    test::ScopedEnv lang("LANG", "de_AT.UTF-8");
    test::ScopedEnv all("LC_ALL", nullptr);
    test::ScopedEnv messages("LC_MESSAGES", nullptr);
    tzset();
    device.user->setClock([] { return secondsDate(1709987700); });  // 2024-03-09 07:35 EST
    ASSERT_EQ(saveGUIDRecord(*device.user, guid, NewsletterTime::dailyDate(7, 30)), std::nullopt);

    Record stored = storedGUIDRecord(folder.path(), guid);
    EXPECT_EQ(stored.get<std::int64_t>(Key::newsletterDailyHour), 7);
    EXPECT_EQ(stored.get<std::int64_t>(Key::newsletterDailyMinute), 30);
    EXPECT_EQ(stored.get<cloud::Date>(Key::newsletterDailyNextUpdate), secondsDate(1710070190));  // 23 hours on
    EXPECT_EQ(stored.get<std::int64_t>(Key::timezoneSecondsOffset), -18000);
    EXPECT_EQ(stored.get<std::string>(Key::language), "de");
    EXPECT_EQ(stored.get<std::string>(Key::region), "AT");

    test::CloudDevice other(folder.path());
    EXPECT_EQ(await<std::optional<cloud::Date>>([&](auto done) { other.user->getNewsletterDailyDate(done); }),
              secondsDate(978265800));  // 2000-12-31 07:30 New York time

    // A save without a daily date keeps the time fields; locale "C" removes the codes.
    test::ScopedEnv plain("LANG", "C");
    ASSERT_EQ(saveGUIDRecord(*device.user, guid, std::nullopt), std::nullopt);
    stored = storedGUIDRecord(folder.path(), guid);
    EXPECT_EQ(stored.get<std::int64_t>(Key::newsletterDailyHour), 7);
    EXPECT_EQ(stored.get<cloud::Date>(Key::newsletterDailyNextUpdate), secondsDate(1710070190));
    EXPECT_EQ(stored.value(Key::language), nullptr);
    EXPECT_EQ(stored.value(Key::region), nullptr);
    tzset();
}

TEST_F(GUIDRecordTest, FieldsOfTheWrongKindReadAsAbsent) {
    ASSERT_EQ(saveGUIDRecord(*device.user, guid, std::nullopt), std::nullopt);
    struct Case {
        std::optional<cloud::FieldValue> verified;
        cloud::FieldValue hour;
        bool emailVerified;
        bool hasDailyDate;
    };
    const Case cases[] = {
        {true, std::int64_t{7}, true, true},
        {std::string("true"), std::int64_t{7}, false, true},
        {std::nullopt, std::int64_t{99}, false, false},
        {false, std::string("7"), false, true},  // no hour: midnight of the reference day
    };
    for (const auto& c : cases) {
        Record record = storedGUIDRecord(folder.path(), guid);
        record.setOptional(Key::verified, c.verified);
        record.set(Key::newsletterDailyHour, c.hour);
        record.set(Key::newsletterDailyMinute, std::int64_t{30});
        auto writer = cloud::Container::make(cloud::Configuration::localFile(folder.path() / "cloud.sqlite", "bob"));
        test::cloudcalls::saveOne(*writer->publicDatabase(), record);

        test::CloudDevice reader(folder.path());
        std::atomic<int> told = 0;
        auto token = reader.user->observeEmailVerified([&] { ++told; });
        const auto date =
            await<std::optional<cloud::Date>>([&](auto done) { reader.user->getNewsletterDailyDate(done); });
        EXPECT_EQ(date.has_value(), c.hasDailyDate);
        EXPECT_EQ(reader.user->emailVerified(), c.emailVerified);
        EXPECT_EQ(told.load(), 1);
    }
}

TEST_F(GUIDRecordTest, SignedOutOrSwitchedOffFetchesReportNotAuthenticated) {
    test::LogCapture log;
    device.cloudEnabled = false;
    const Fetched fetched = fetchGUIDRecord(*device.user);
    ASSERT_TRUE(fetched.failure);
    EXPECT_EQ(std::get<CloudUserError>(*fetched.failure), CloudUserError::notAuthenticated);
    EXPECT_EQ(device.container->publicFaults().requestCount(Kind::query), 0);

    auto signedOut = test::CloudDevice::signedOut();
    const Fetched none = fetchGUIDRecord(*signedOut.user);
    EXPECT_FALSE(none.record);
    ASSERT_TRUE(none.failure);  // "no user", with the user fetch's own error
    EXPECT_EQ(std::get<Error>(*none.failure).code, ErrorCode::notAuthenticated);
    const auto lines = log.lines();
    auto logged = [&](const std::string& text) {
        return std::any_of(lines.begin(), lines.end(), [&](auto& line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(logged("[WARNING]: not authenticated"));
    EXPECT_TRUE(logged("[ERROR]: no user"));
}

TEST_F(GUIDRecordTest, AFailedSaveReportsTheRecordsOwnErrorAndDropsTheCache) {
    ASSERT_EQ(saveGUIDRecord(*device.user, guid, std::nullopt), std::nullopt);
    Error partial = Error::make(ErrorCode::partialFailure, "some items failed");
    partial.partialErrorsByItemID.emplace_back(guid, Error::make(ErrorCode::serverRecordChanged, "changed"));
    device.container->publicFaults().failNext(Kind::modifyRecords, 1, partial);
    const auto failure = saveGUIDRecord(*device.user, guid, std::nullopt);
    ASSERT_TRUE(failure);
    EXPECT_EQ(std::get<Error>(*failure).code, ErrorCode::serverRecordChanged);

    const int queries = device.container->publicFaults().requestCount(Kind::query);
    EXPECT_TRUE(fetchGUIDRecord(*device.user).record);
    EXPECT_EQ(device.container->publicFaults().requestCount(Kind::query), queries + 1);

    // A passing failure is sent again, and only the retried save answers.
    device.container->publicFaults().failNext(Kind::modifyRecords, 1, Error::make(ErrorCode::zoneBusy, "busy"));
    EXPECT_EQ(saveGUIDRecord(*device.user, guid, std::nullopt), std::nullopt);
    EXPECT_EQ(device.userRetries.delays().back(), 10);
}

}  // namespace
}  // namespace tallowmere
