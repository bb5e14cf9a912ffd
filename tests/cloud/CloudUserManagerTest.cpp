#include <gtest/gtest.h>

#include <cctype>

#include "CloudDevice.h"
#include "support/CloudCalls.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace tallowmere {
namespace {

using cloud::Error;
using cloud::ErrorCode;
using test::await;
using Kind = test::FaultInjectingDatabase::Kind;
using Text = std::optional<std::string>;
using Availability = std::optional<bool>;

Text guidOf(CloudUserManager& user) {
    return await<Text>([&](auto done) { user.getGUID(done); });
}

bool setEmail(CloudUserManager& user, Text email) {
    return await<bool>([&](auto done) { user.setEmail(email, done); });
}

// The user's record as the cloud holds it, read by another device of the account.
cloud::Record storedUserRecord(const std::filesystem::path& folder) {
    auto container = cloud::Container::make(cloud::Configuration::localFile(folder / "cloud.sqlite", "alice"));
    auto fetched = test::cloudcalls::userRecord(*container);
    EXPECT_FALSE(fetched.error);
    return fetched.record.value_or(cloud::Record("Users", cloud::RecordID("none")));
}

bool isUpperCaseUUID(const std::string& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? text[i] != '-' : !(std::isdigit(text[i]) || (text[i] >= 'A' && text[i] <= 'F'))) return false;
    }
    return true;
}

TEST(CloudUserManager, ASignedOutDeviceAnswersFalseAndIsAskedOnce) {
    auto device = test::CloudDevice::signedOut();
    EXPECT_EQ(device.user->isAuthenticated(), std::nullopt);
    EXPECT_EQ(await<Availability>([&](auto done) { device.user->checkCloudAvailability(done); }), false);
    EXPECT_EQ(device.user->isAuthenticated(), false);
    EXPECT_EQ(guidOf(*device.user), std::nullopt);
    EXPECT_EQ(await<Text>([&](auto done) { device.user->getEmail(done); }), std::nullopt);
    EXPECT_FALSE(setEmail(*device.user, "a@example.com"));
    // Settled now: answered on the caller's thread, without asking again.
    std::optional<bool> answer = true;
    device.user->checkCloudAvailability([&](Availability available) { answer = available; });
    EXPECT_EQ(answer, false);
    EXPECT_EQ(device.container->userRecordRequests(), 1);
}

TEST(CloudUserManager, TheFirstStartWritesAGUIDThatTheSecondDeviceReads) {
    test::TempDir folder;
    test::CloudDevice first(folder.path()), second(folder.path());
    const Text guid = guidOf(*first.user);
    ASSERT_TRUE(guid);
    EXPECT_TRUE(isUpperCaseUUID(*guid)) << *guid;
    EXPECT_EQ(first.notifications->guids(), std::vector<std::string>{*guid});
    EXPECT_EQ(first.user->isAuthenticated(), true);
    EXPECT_EQ(await<Availability>([&](auto done) { first.user->checkCloudAvailability(done); }), true);

    EXPECT_EQ(guidOf(*second.user), guid);
    EXPECT_EQ(second.container->publicFaults().requestCount(Kind::modifyRecords), 0);
    EXPECT_EQ(second.notifications->guids(), std::vector<std::string>{*guid});
    second.cloudEnabled = false;
    EXPECT_EQ(await<Availability>([&](auto done) { second.user->checkCloudAvailability(done); }), false);
}

TEST(CloudUserManager, AnEmptyOrMistypedGUIDIsReplaced) {
    for (const cloud::FieldValue& stored : {cloud::FieldValue(std::string()), cloud::FieldValue(std::int64_t{42})}) {
        test::TempDir folder;
        {
            auto container = cloud::Container::make(cloud::Configuration::localFile(folder.path() / "cloud.sqlite", "alice"));
            auto record = test::cloudcalls::userRecord(*container).record.value();
            record.set("guid", stored);
            test::cloudcalls::saveOne(*container->publicDatabase(), record);
        }
        test::CloudDevice device(folder.path());
        const Text guid = guidOf(*device.user);
        ASSERT_TRUE(guid);
        EXPECT_TRUE(isUpperCaseUUID(*guid));
        EXPECT_EQ(storedUserRecord(folder.path()).get<std::string>("guid"), guid);
    }
}

TEST(CloudUserManager, SetEmailWritesOrRemovesTheAddressAndKeepsTheGUID) {
    test::TempDir folder;
    test::CloudDevice device(folder.path());
    const Text guid = guidOf(*device.user);
    ASSERT_TRUE(setEmail(*device.user, "reader@example.com"));
    EXPECT_EQ(storedUserRecord(folder.path()).get<std::string>("email"), "reader@example.com");
    EXPECT_EQ(await<Text>([&](auto done) { device.user->getEmail(done); }), "reader@example.com");
    // A second write goes over the first one's saved form.
    ASSERT_TRUE(setEmail(*device.user, std::nullopt));
    const auto stored = storedUserRecord(folder.path());
    EXPECT_EQ(stored.value("email"), nullptr);
    EXPECT_EQ(stored.get<std::string>("guid"), guid);
    EXPECT_EQ(await<Text>([&](auto done) { device.user->getEmail(done); }), std::nullopt);
}

TEST(CloudUserManager, SetEmailAnswersFalseWhenNothingWasWritten) {
    test::TempDir folder;
    test::LogCapture log;
    test::CloudDevice device(folder.path());
    // No record: the fetch failed for good.
    device.container->failNextUserRecord(1, Error::make(ErrorCode::permissionFailure, "refused"));
    EXPECT_FALSE(setEmail(*device.user, "reader@example.com"));
    EXPECT_EQ(device.container->publicFaults().requestCount(Kind::modifyRecords), 0);
    EXPECT_EQ(device.user->isAuthenticated(), std::nullopt);

    // The write itself fails: false, logged, and the cached record dropped.
    ASSERT_TRUE(guidOf(*device.user));
    device.container->publicFaults().failNext(Kind::modifyRecords, 1,
                                              Error::make(ErrorCode::permissionFailure, "refused"));
    EXPECT_FALSE(setEmail(*device.user, "reader@example.com"));
    EXPECT_EQ(storedUserRecord(folder.path()).value("email"), nullptr);
    const int requests = device.container->userRecordRequests();
    EXPECT_TRUE(setEmail(*device.user, "reader@example.com"));
    EXPECT_EQ(device.container->userRecordRequests(), requests + 1);
    bool logged = false;
    for (const auto& line : log.lines()) logged = logged || line.find("[ERROR]: user set error: ") != std::string::npos;
    EXPECT_TRUE(logged);
}

TEST(CloudUserManager, AvailabilityWaitsForTheFetchInFlight) {
    test::TempDir folder;
    test::CloudDevice device(folder.path());
    device.container->holdNextUserRecord();
    std::promise<Text> guid;
    std::promise<Availability> availability;
    device.user->getGUID([&](Text value) { guid.set_value(value); });
    device.user->checkCloudAvailability([&](Availability value) { availability.set_value(value); });
    auto answer = availability.get_future();
    ASSERT_TRUE(test::waitUntil([&] { return device.container->userRecordRequests() == 1; }));
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    device.container->releaseUserRecord();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(answer.get(), true);
    EXPECT_TRUE(guid.get_future().get());
    EXPECT_EQ(device.container->userRecordRequests(), 1);
}

TEST(CloudUserManager, APassingFetchErrorGivesOneAnswerAndLaterFetchesStillQueue) {
    test::TempDir folder;
    test::CloudDevice device(folder.path());
    device.container->failNextUserRecord(2, Error::make(ErrorCode::networkFailure, "offline"));
    std::atomic<int> answers = 0;
    std::promise<Text> first;
    device.user->getGUID([&](Text value) {
        if (++answers == 1) first.set_value(value);
    });
    auto guid = first.get_future();
    ASSERT_EQ(guid.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(guid.get());
    EXPECT_EQ(device.userRetries.delays(), (std::vector<long>{10, 20}));
    // Work queued behind the fetch runs, and the first caller heard once.
    EXPECT_EQ(await<Availability>([&](auto done) {
                  device.user->userRecordQueue().async([&, done] { done(device.user->cloudAvailabilityReply()); });
              }),
              true);
    EXPECT_EQ(answers.load(), 1);
    EXPECT_EQ(device.container->userRecordRequests(), 3);
    EXPECT_EQ(device.user->retrySeconds(), 10.0);  // the success set it back
}

}  // namespace
}  // namespace tallowmere
