#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "CloudDevice.h"
#include "cloud/CloudManager.h"
#include "support/LogCapture.h"

namespace tallowmere {
namespace {

using cloud::Error;
using cloud::ErrorCode;

Error errorWith(ErrorCode code, std::optional<double> retryAfter = std::nullopt) {
    Error error = Error::make(code, "injected");
    error.retryAfterSeconds = retryAfter;
    return error;
}

class CloudManagerRetry : public ::testing::Test {
protected:
    void SetUp() override { manager.setScheduler(retries.scheduler(manager.retryQueue())); }
    // Handles the error; true when a retry was scheduled, which then runs.
    bool handle(const std::optional<Error>& error) {
        std::promise<void> ran;
        const bool scheduled = manager.handleError(error, [&] { ran.set_value(); });
        if (scheduled) {
            EXPECT_EQ(ran.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
        }
        return scheduled;
    }

    CloudManager manager{[] { return cloud::Container::make(cloud::Configuration::none()); }};
    test::RetryRecorder retries;
};

TEST_F(CloudManagerRetry, PassingErrorsWaitLongerEachTimeUntilAnotherOutcome) {
    for (auto code : {ErrorCode::networkFailure, ErrorCode::serviceUnavailable, ErrorCode::zoneBusy}) {
        EXPECT_TRUE(handle(errorWith(code)));
    }
    EXPECT_EQ(retries.delays(), (std::vector<long>{10, 20, 30}));
    EXPECT_FALSE(handle(std::nullopt));
    EXPECT_EQ(manager.retrySeconds(), 10.0);
    EXPECT_TRUE(handle(errorWith(ErrorCode::networkFailure)));
    EXPECT_EQ(retries.delays().back(), 10);
}

TEST_F(CloudManagerRetry, TheServiceDelayIsTruncatedAndTheOwnDelayGrowsAllTheSame) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        std::optional<double> retryAfter;
        long delay;
        double retrySecondsAfter;
    };
    // Starting at 10 each time: the asked delay truncated, or our own when
    // the asked one is no number of seconds.
    for (const Case& c : {Case{3.7, 3, 20}, Case{0.5, 0, 20}, Case{nan, 10, 20}, Case{infinity, 10, 20},
                          Case{-2.0, 10, 20}}) {
        handle(std::nullopt);
        ASSERT_TRUE(handle(errorWith(ErrorCode::requestRateLimited, c.retryAfter)));
        EXPECT_EQ(retries.delays().back(), c.delay) << c.retryAfter.value_or(0);
        EXPECT_EQ(manager.retrySeconds(), c.retrySecondsAfter);
    }
}

TEST_F(CloudManagerRetry, OtherErrorsAreLoggedNotRetriedAndResetTheDelay) {
    test::LogCapture log;
    for (auto code : {ErrorCode::partialFailure, ErrorCode::notAuthenticated, ErrorCode::unknownItem,
                      ErrorCode::operationCancelled}) {
        ASSERT_TRUE(handle(errorWith(ErrorCode::networkFailure)));
        EXPECT_EQ(manager.retrySeconds(), 20.0);
        EXPECT_FALSE(handle(errorWith(code))) << static_cast<int>(code);
        EXPECT_EQ(manager.retrySeconds(), 10.0);
    }
    EXPECT_FALSE(handle(std::nullopt));
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 8u);  // the four passing failures and the four others; success is silent
    EXPECT_NE(lines[1].find("[ERROR]: cloudkit error: cloud error 2 (partial failure)"), std::string::npos) << lines[1];
}

TEST(CloudManager, DatabasesAreMadeOnceFromOneContainer) {
    std::atomic<int> made = 0;
    CloudManager manager([&] {
        ++made;
        return cloud::Container::make(cloud::Configuration::none());
    });
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([&] { manager.publicDB(), manager.privateDB(); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(made.load(), 1);
    EXPECT_EQ(manager.publicDB()->scope(), cloud::DatabaseScope::publicScope);
    EXPECT_EQ(manager.privateDB()->scope(), cloud::DatabaseScope::privateScope);
    EXPECT_EQ(manager.retryQueue().label(), "cloud_manager_retry_queue");
}

}  // namespace
}  // namespace tallowmere
