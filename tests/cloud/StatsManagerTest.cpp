#include <gtest/gtest.h>

#include <set>

#include "CloudDevice.h"
#include "cloud/ContainerStatsManager.h"
#include "support/CloudCalls.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace tallowmere {
namespace {

using cloud::Error;
using cloud::ErrorCode;
using Kind = test::FaultInjectingDatabase::Kind;
using Names = std::set<std::string>;

TEST(StatsManager, URLsAreCountedLowerCasedWithoutSlashesAtTheEnds) {
    const std::pair<std::string, std::string> cases[] = {
        {"HTTPS://Example.COM/Feed/", "https://example.com/feed"},
        {"https://example.com/feed//", "https://example.com/feed"},
        {"//example.com/a/b/", "example.com/a/b"},
        {" https://example.com/feed/ ", " https://example.com/feed/ "},
        {"https://example.com/feed/\n", "https://example.com/feed/\n"},
        {"HTTP://ÉTÉ.example/?Q=1", "http://été.example/?q=1"},
        {"///", ""},
    };
    for (const auto& [url, expected] : cases) EXPECT_EQ(ContainerStatsManager::normalizedURL(url), expected) << url;
}

class StatsTest : public ::testing::Test {
protected:
    std::shared_ptr<ContainerStatsManager> statsOf(test::CloudDevice& device) {
        return std::make_shared<ContainerStatsManager>([c = device.container] { return c; },
                                                       [u = device.user] { return u; });
    }
    // The statistics records of the URL, once there are `count` of them.
    std::vector<cloud::Record> records(const std::string& url, std::size_t count = 1) {
        auto container = cloud::Container::make(cloud::Configuration::localFile(folder.path() / "cloud.sqlite", "carol"));
        std::vector<cloud::Record> found;
        test::waitUntil([&] {
            found = test::cloudcalls::queryAll(*container->publicDatabase(),
                                               cloud::Query("feed_stats", cloud::Predicate::equals("url", url)));
            return found.size() >= count;
        });
        return found;
    }
    // Waits until the record of the URL holds the count.
    cloud::Record recordWithCount(const std::string& url, std::int64_t count) {
        cloud::Record record("feed_stats", cloud::RecordID("none"));
        test::waitUntil([&] {
            auto found = records(url);
            if (found.empty() || found[0].get<std::int64_t>("count") != count) return false;
            record = found[0];
            return true;
        });
        return record;
    }
    static Names namesOf(const cloud::Record& record) {
        auto names = record.get<std::vector<std::string>>("categories").value_or(std::vector<std::string>{"<none>"});
        return Names(names.begin(), names.end());
    }

    test::TempDir folder;
    test::CloudDevice device{folder.path()};
};

TEST_F(StatsTest, AdditionsAreCountedAndCategoriesMerged) {
    auto stats = statsOf(device);
    stats->updateFeedStats("https://Example.com/feed/", Names{"b", "c"}, false);
    auto record = recordWithCount("https://example.com/feed", 1);
    EXPECT_EQ(namesOf(record), (Names{"b", "c"}));
    EXPECT_EQ(record.recordID().recordName.size(), 36u);

    // Another user's device counts into the same record.
    test::CloudDevice other(folder.path(), "bob");
    statsOf(other)->updateFeedStats("https://example.com/feed", Names{"a", "b"}, false);
    EXPECT_EQ(namesOf(recordWithCount("https://example.com/feed", 2)), (Names{"a", "b", "c"}));
    stats->updateFeedStats("https://example.com/feed", std::nullopt, false);
    EXPECT_EQ(namesOf(recordWithCount("https://example.com/feed", 3)), (Names{"a", "b", "c"}));
    EXPECT_EQ(records("https://example.com/feed").size(), 1u);

    stats->updateFeedStats("https://example.org/rss", std::nullopt, false);
    EXPECT_EQ(namesOf(recordWithCount("https://example.org/rss", 1)), Names{});
}

TEST_F(StatsTest, NothingIsCountedSignedOutOrSwitchedOffButAnUnsettledSignInCounts) {
    auto signedOut = test::CloudDevice::signedOut();
    statsOf(signedOut)->updateFeedStats("https://example.com/feed", std::nullopt, false);
    ASSERT_TRUE(test::waitUntil([&] { return signedOut.user->isAuthenticated() == false; }));
    statsOf(signedOut)->updateFeedStats("https://example.com/feed", std::nullopt, false);
    EXPECT_EQ(signedOut.container->publicFaults().requestCount(Kind::query), 0);

    ASSERT_TRUE(test::await<std::optional<std::string>>([&](auto done) { device.user->getGUID(done); }));
    device.cloudEnabled = false;
    statsOf(device)->updateFeedStats("https://example.com/feed", std::nullopt, false);
    EXPECT_EQ(device.container->publicFaults().requestCount(Kind::query), 0);

    test::CloudDevice unsettled(folder.path());
    unsettled.container->failNextUserRecord(1, Error::make(ErrorCode::permissionFailure, "refused"));
    statsOf(unsettled)->updateFeedStats("https://example.com/feed", std::nullopt, false);
    recordWithCount("https://example.com/feed", 1);
    EXPECT_EQ(unsettled.user->isAuthenticated(), std::nullopt);
}

TEST_F(StatsTest, AFailedQueryIsLoggedAndCountsNothing) {
    test::LogCapture log;
    auto stats = statsOf(device);
    stats->updateFeedStats("https://example.com/feed", std::nullopt, false);
    recordWithCount("https://example.com/feed", 1);
    device.container->publicFaults().failNext(Kind::query, 1, Error::make(ErrorCode::networkFailure, "offline"));
    stats->updateFeedStats("https://example.com/feed", std::nullopt, false);
    auto logged = [&](const std::string& text) {
        const auto lines = log.lines();
        return std::any_of(lines.begin(), lines.end(), [&](auto& line) { return line.find(text) != std::string::npos; });
    };
    ASSERT_TRUE(test::waitUntil([&] { return logged("[ERROR]: feedStats error: cloud error 4"); }));
    // A failed save is logged too, and not retried.
    device.container->publicFaults().failNext(Kind::modifyRecords, 1, Error::make(ErrorCode::zoneBusy, "busy"));
    stats->updateFeedStats("https://example.com/feed", std::nullopt, false);
    ASSERT_TRUE(test::waitUntil([&] { return logged("[ERROR]: updateFeedStats error: cloud error 23"); }));
    stats->updateFeedStats("https://example.com/feed", std::nullopt, false);
    EXPECT_EQ(recordWithCount("https://example.com/feed", 2).get<std::int64_t>("count"), 2);
    EXPECT_EQ(records("https://example.com/feed").size(), 1u);
    EXPECT_TRUE(device.userRetries.delays().empty());
}

}  // namespace
}  // namespace tallowmere
