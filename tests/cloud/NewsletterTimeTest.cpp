#include <gtest/gtest.h>

#include <ctime>

#include "CloudDevice.h"
#include "cloud/LocaleCodes.h"
#include "cloud/NewsletterTime.h"
#include "support/ZoneScope.h"

namespace tallowmere {
namespace {

using test::secondsDate;

using test::ZoneScope;

// Expected instants from `TZ=<zone> date -d '<local time>' +%s`.
struct NextUpdateCase {
    const char* zone;
    std::int64_t now;
    NewsletterTime::HourMinute time;
    std::int64_t expected;
    std::int64_t offset;  // seconds from UTC at `now`
    const char* what;
};

TEST(NewsletterTime, NextUpdateIsTenSecondsBeforeTheTimeTodayOrOnTheNextCalendarDay) {
    const NextUpdateCase cases[] = {
        {"Europe/Berlin", 1718429700, {7, 30}, 1718515790, 7200, "07:30 at 07:35: 07:29:50 tomorrow"},
        {"Europe/Berlin", 1718424000, {7, 30}, 1718429390, 7200, "07:30 at 06:00: 07:29:50 today"},
        {"Asia/Kolkata", 1718418600, {0, 0}, 1718476190, 19800, "00:00 at 08:00: 23:59:50 the same day"},
        {"America/New_York", 1709987700, {7, 30}, 1710070190, -18000, "the day before spring forward: 23 hours on"},
        {"America/New_York", 1730547300, {7, 30}, 1730636990, -14400, "the day before fall back: 25 hours on"},
        {"Europe/Berlin", 1711836000, {7, 30}, 1711862990, 3600, "the night of the change: today in summer time"},
        {"Australia/Lord_Howe", 1728075900, {7, 30}, 1728160190, 37800, "a half-hour change"},
    };
    for (const auto& c : cases) {
        ZoneScope zone(c.zone);
        EXPECT_EQ(NewsletterTime::nextUpdate(c.time, secondsDate(c.now)), secondsDate(c.expected)) << c.what;
        EXPECT_EQ(NewsletterTime::secondsFromGMT(secondsDate(c.now)), c.offset) << c.zone;
    }
    // Just before the lead time it is still today; at it, tomorrow.
    ZoneScope zone("Europe/Berlin");
    EXPECT_EQ(NewsletterTime::nextUpdate({7, 30}, secondsDate(1718429389)), secondsDate(1718429390));
    EXPECT_EQ(NewsletterTime::nextUpdate({7, 30}, secondsDate(1718429390)), secondsDate(1718515790));
}

TEST(NewsletterTime, TheDailyDateIsTheReferenceDaySeenLocallyAtTheStoredTime) {
    {
        ZoneScope zone("America/New_York");
        EXPECT_EQ(NewsletterTime::dailyDate(7, 30), secondsDate(978265800));  // 2000-12-31 07:30 local
        const auto time = NewsletterTime::hourMinute(secondsDate(978265800));
        ASSERT_TRUE(time);
        EXPECT_EQ(time->hour, 7);
        EXPECT_EQ(time->minute, 30);
    }
    ZoneScope zone("Asia/Kolkata");
    EXPECT_EQ(NewsletterTime::dailyDate(7, 30), secondsDate(978314400));  // 2001-01-01 07:30 local
    EXPECT_EQ(NewsletterTime::dailyDate(std::nullopt, std::nullopt), secondsDate(978287400));
    for (auto [hour, minute] : {std::pair<std::int64_t, std::int64_t>{99, 0}, {7, -1}, {24, 0}, {7, 60}}) {
        EXPECT_EQ(NewsletterTime::dailyDate(hour, minute), std::nullopt) << hour << ":" << minute;
    }
}

TEST(LocaleCodes, LanguageAndRegionFromTheFirstSetLocaleVariable) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        std::optional<std::string> language;
        std::optional<std::string> region;
    };
    const Case cases[] = {
        {nullptr, nullptr, "de_AT.UTF-8", "de", "AT"},
        {"", "pt_BR", "de_AT.UTF-8", "pt", "BR"},
        {"fr_CA.UTF-8@euro", "pt_BR", nullptr, "fr", "CA"},
        {nullptr, nullptr, "C", std::nullopt, std::nullopt},
        {nullptr, nullptr, "C.UTF-8", std::nullopt, std::nullopt},
        {"POSIX", nullptr, "de_AT", std::nullopt, std::nullopt},
        {nullptr, nullptr, "ja", "ja", std::nullopt},
        {nullptr, nullptr, nullptr, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto codes = LocaleCodes::fromEnvironment([&](const char* name) -> const char* {
            const std::string variable = name;
            return variable == "LC_ALL" ? c.lcAll : variable == "LC_MESSAGES" ? c.lcMessages : c.lang;
        });
        EXPECT_EQ(codes.language, c.language) << (c.lang ? c.lang : "-");
        EXPECT_EQ(codes.region, c.region) << (c.lang ? c.lang : "-");
    }
}

}  // namespace
}  // namespace tallowmere
