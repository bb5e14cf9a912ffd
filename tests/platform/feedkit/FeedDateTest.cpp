#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/feedkit/FeedDate.h"

using namespace std::chrono;
using tallowmere::feedkit::FeedDate;

namespace {

system_clock::time_point utc(int y, unsigned mo, unsigned d, int h, int mi, int s, milliseconds extra = {}) {
    return time_point_cast<system_clock::duration>(sys_days{year{y} / month{mo} / day{d}} + hours{h} +
                                                   minutes{mi} + seconds{s} + extra);
}

struct DateCase {
    const char* text;
    system_clock::time_point expected;
};

}  // namespace

TEST(FeedDate, ReadsTheDateFormsThatFeedsUse) {
    const DateCase cases[] = {
        // RFC 822 / 1123
        {"Tue, 10 Jun 2003 04:00:00 GMT", utc(2003, 6, 10, 4, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00 +0200", utc(2003, 6, 10, 2, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00 -05:30", utc(2003, 6, 10, 9, 30, 0)},
        {"Tue, 10 Jun 2003 04:00:00 EST", utc(2003, 6, 10, 9, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00 PDT", utc(2003, 6, 10, 11, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00 UT", utc(2003, 6, 10, 4, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00 Z", utc(2003, 6, 10, 4, 0, 0)},
        {"Tue, 10 Jun 03 04:00:00 GMT", utc(2003, 6, 10, 4, 0, 0)},  // two-digit year
        {"Fri, 10 Jun 99 04:00:00 GMT", utc(1999, 6, 10, 4, 0, 0)},
        {"Tue, 10 Jun 2003 04:00 GMT", utc(2003, 6, 10, 4, 0, 0)},    // no seconds
        {"10 Jun 2003 04:00:00 GMT", utc(2003, 6, 10, 4, 0, 0)},      // no weekday
        {"Tue 10 Jun 2003 04:00:00 GMT", utc(2003, 6, 10, 4, 0, 0)},  // no comma
        {"Tue, 1 Jun 2003 4:05:06 GMT", utc(2003, 6, 1, 4, 5, 6)},    // single digits
        {"Tuesday, 10 June 2003 04:00:00 GMT", utc(2003, 6, 10, 4, 0, 0)},
        {"tue, 10 jun 2003 04:00:00 gmt", utc(2003, 6, 10, 4, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00", utc(2003, 6, 10, 4, 0, 0)},      // no zone: UTC
        {"Tue, 10 Jun 2003", utc(2003, 6, 10, 0, 0, 0)},               // no time
        {"Tue, Jun 10 2003 04:00:00 GMT", utc(2003, 6, 10, 4, 0, 0)},  // month first
        {"10-Jun-2003 04:00:00 GMT", utc(2003, 6, 10, 4, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00 +0000 (UTC)", utc(2003, 6, 10, 4, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00 GMT+0100", utc(2003, 6, 10, 3, 0, 0)},
        {"Tue, 10 Jun 2003 04:00:00 XYZ", utc(2003, 6, 10, 4, 0, 0)},  // unknown zone name
        {"  Tue, 10 Jun 2003 04:00:00 GMT \n", utc(2003, 6, 10, 4, 0, 0)},
        // ISO 8601 / RFC 3339
        {"2003-12-13T18:30:02Z", utc(2003, 12, 13, 18, 30, 2)},
        {"2003-12-13T18:30:02+01:00", utc(2003, 12, 13, 17, 30, 2)},
        {"2003-12-13T18:30:02-0500", utc(2003, 12, 13, 23, 30, 2)},
        {"2003-12-13T18:30:02+01", utc(2003, 12, 13, 17, 30, 2)},
        {"2003-12-13T18:30:02.25Z", utc(2003, 12, 13, 18, 30, 2, 250ms)},
        {"2003-12-13T18:30:02.123456789+00:00",
         utc(2003, 12, 13, 18, 30, 2, 123ms) + microseconds(456) + nanoseconds(789)},
        {"2003-12-13T18:30:02", utc(2003, 12, 13, 18, 30, 2)},  // no zone: UTC
        {"2003-12-13T18:30Z", utc(2003, 12, 13, 18, 30, 0)},    // no seconds
        {"2003-12-13 18:30:02", utc(2003, 12, 13, 18, 30, 2)},  // space separator
        {"2003-12-13t18:30:02z", utc(2003, 12, 13, 18, 30, 2)},
        {"2003-12-13T18:30:02 +01:00", utc(2003, 12, 13, 17, 30, 2)},
        {"2003-12-13", utc(2003, 12, 13, 0, 0, 0)},
        {"2003-12", utc(2003, 12, 1, 0, 0, 0)},
        {"20031213T183002Z", utc(2003, 12, 13, 18, 30, 2)},
        {"2016-12-31T23:59:60Z", utc(2016, 12, 31, 23, 59, 59)},  // leap second kept in its minute
        {"2024-02-29T00:00:00Z", utc(2024, 2, 29, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        auto parsed = FeedDate::parse(c.text);
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(*parsed, c.expected) << c.text;
    }
}

TEST(FeedDate, TextThatIsNoDateGivesNothing) {
    const char* cases[] = {
        "",
        "   ",
        "yesterday",
        "Tue, 32 Jun 2003 04:00:00 GMT",
        "Tue, 10 Foo 2003 04:00:00 GMT",
        "2003-13-01T00:00:00Z",
        "2023-02-29",
        "2003-12-13T25:00:00Z",
        "2003-12-13T18:61:00Z",
        "2003-12-13T18:30:02+99:00",
        "Tue, 10 Jun 203 04:00:00 GMT",
        "2003-12-13Tnoon",
        "12/13/2003",
        "2003-12-13T18:30:02Z trailing",
        "Tue, 10 Jun 2003 04:",
        "\xff\xfe\x00",
        "9999-12-31T23:59:59Z",
        "0001-01-01T00:00:00Z",
        "Tue, 10 Jun 2999 04:00:00 GMT",  // beyond the clock
    };
    for (const char* text : cases) EXPECT_FALSE(FeedDate::parse(text).has_value()) << text;
}
