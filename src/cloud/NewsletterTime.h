#pragma once

#include <cstdint>
#include <optional>

#include "platform/cloud/FieldValue.h"

namespace tallowmere {

// The daily newsletter's time of day and the other clock values of the
// user's identity record, in the process's time zone (TZ, read afresh on
// each call).
class NewsletterTime {
public:
    struct HourMinute {
        int hour = 0;
        int minute = 0;
    };

    // The reference date (1 January 2001, 00:00 UTC) as seen in the local
    // zone, with its hour and minute replaced; an absent value counts as 0.
    // Nothing for an hour outside 0-23 or a minute outside 0-59.
    static std::optional<cloud::Date> dailyDate(std::optional<std::int64_t> hour, std::optional<std::int64_t> minute);
    // The local hour and minute of a date.
    static std::optional<HourMinute> hourMinute(cloud::Date date);
    // Ten seconds before hh:mm:00 today when that is still ahead of now,
    // else the same local time one calendar day later.
    static std::optional<cloud::Date> nextUpdate(HourMinute time, cloud::Date now);
    // The local zone's offset from UTC at that moment, in seconds.
    static std::int64_t secondsFromGMT(cloud::Date now);

    static constexpr int leadSeconds = 10;
};

}  // namespace tallowmere
