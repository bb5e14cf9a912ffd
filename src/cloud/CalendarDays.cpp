#include "cloud/CalendarDays.h"

#include <chrono>
#include <cerrno>
#include <cmath>
#include <ctime>

namespace tallowmere {

std::optional<cloud::Date> CalendarDays::addingDays(cloud::Date date, long days) {
    const auto wholeSeconds = std::chrono::floor<std::chrono::seconds>(date);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(wholeSeconds);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return std::nullopt;
    local.tm_mday += static_cast<int>(days);
    local.tm_isdst = -1;  // the zone decides for the new day
    errno = 0;
    const std::time_t moved = std::mktime(&local);
    if (moved == static_cast<std::time_t>(-1) && errno != 0) return std::nullopt;
    return std::chrono::system_clock::from_time_t(moved) + (date - wholeSeconds);
}

std::optional<long> CalendarDays::wholeDays(cloud::Date from, cloud::Date to) {
    if (to < from) {
        const auto backwards = wholeDays(to, from);
        if (!backwards) return std::nullopt;
        return -*backwards;
    }
    // A day is 23 to 25 hours long: start near the answer and step to it.
    long days = static_cast<long>(std::chrono::duration_cast<std::chrono::hours>(to - from).count() / 24);
    for (int step = 0; step < 4; ++step) {
        const auto moved = addingDays(from, days);
        if (!moved) return std::nullopt;
        if (*moved > to) {
            --days;
            continue;
        }
        const auto next = addingDays(from, days + 1);
        if (!next) return std::nullopt;
        if (*next > to) return days;
        ++days;
    }
    return days;
}

}  // namespace tallowmere
