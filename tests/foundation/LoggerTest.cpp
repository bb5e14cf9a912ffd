#include <gtest/gtest.h>

#include <mutex>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "foundation/Logger.h"
#include "platform/dispatch/SerialQueue.h"

using namespace tallowmere;

namespace {

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::setSink([this](std::string_view line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
        Logger::setLevel(LoggerLevel::debug);
    }
    void TearDown() override {
        Logger::setSink(nullptr);
        Logger::setLevel(LoggerLevel::debug);
    }
    std::vector<std::string> lines() {
        Logger::drain();
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace

TEST_F(LoggerTest, LineCarriesTimeQueueLabelAndTag) {
    dispatch::SerialQueue queue("feeds_manager_add_feed_queue");
    queue.sync([] { Logger::error([] { return "boom"; }); });
    Logger::warning([] { return std::string("careful"); });
    const auto printed = lines();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_TRUE(std::regex_match(printed[0],
                                 std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \|feeds_manager_add_feed_queue\| \[ERROR\]: boom)")))
        << printed[0];
    // A thread with no queue prints the two bars next to each other.
    EXPECT_TRUE(std::regex_match(printed[1], std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \|\| \[WARNING\]: careful)")))
        << printed[1];
}

TEST_F(LoggerTest, SuppressedLevelsNeverEvaluateTheirMessage) {
    Logger::setLevel(LoggerLevel::error);
    int evaluated = 0;
    Logger::warning([&] {
        ++evaluated;
        return "hidden";
    });
    Logger::verbose([&] { return ++evaluated; });
    Logger::debug([&] { return ++evaluated; });
    Logger::info([&] { return ++evaluated; });
    Logger::error([&] {
        ++evaluated;
        return "shown";
    });
    const auto printed = lines();
    EXPECT_EQ(evaluated, 1);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_NE(printed[0].find("[ERROR]: shown"), std::string::npos);
}

TEST_F(LoggerTest, NonTextMessagesPrintTheirDescriptionAndNewlinesStay) {
    Logger::error([] { return 42; });
    Logger::error([] { return std::make_error_code(std::errc::no_such_file_or_directory); });
    Logger::error([] { return "two\nlines"; });
    const auto printed = lines();
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_TRUE(printed[0].ends_with("[ERROR]: 42"));
    EXPECT_TRUE(printed[1].ends_with("[ERROR]: No such file or directory"));
    EXPECT_TRUE(printed[2].ends_with("[ERROR]: two\nlines"));
}

TEST_F(LoggerTest, LinesFromOneThreadKeepTheirOrder) {
    for (int i = 0; i < 100; ++i) Logger::error([i] { return i; });
    const auto printed = lines();
    ASSERT_EQ(printed.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(printed[i].ends_with(": " + std::to_string(i)));
}

TEST(LoggerLevel, RawValuesOutsideTheRangeGiveNoLevel) {
    EXPECT_EQ(loggerLevelFromRaw(0), LoggerLevel::verbose);
    EXPECT_EQ(loggerLevelFromRaw(4), LoggerLevel::error);
    EXPECT_EQ(loggerLevelFromRaw(5), std::nullopt);
    EXPECT_EQ(loggerLevelFromRaw(-1), std::nullopt);
}
