#pragma once

#include <optional>

#include "platform/cloud/FieldValue.h"

namespace tallowmere {

// Whole calendar days between two moments in the local time zone: the
// largest n for which `from` moved n days ahead on the local calendar (same
// wall-clock time, whatever the day's length across a daylight-saving
// change) is not after `to`. Negative when `to` lies before `from`; nothing
// when the calendar cannot place a date.
class CalendarDays {
public:
    static std::optional<long> wholeDays(cloud::Date from, cloud::Date to);

private:
    static std::optional<cloud::Date> addingDays(cloud::Date date, long days);
};

}  // namespace tallowmere
