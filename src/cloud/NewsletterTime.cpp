#include "cloud/NewsletterTime.h"

#include <ctime>

namespace tallowmere {

namespace {

constexpr std::time_t referenceDate = 978307200;  // 2001-01-01 00:00:00 UTC

std::optional<std::tm> localParts(std::time_t time) {
    tzset();  // follows a changed TZ; localtime_r alone need not
    std::tm parts{};
    if (!localtime_r(&time, &parts)) return std::nullopt;
    return parts;
}

// The local date of the parts, the daylight-saving flag left to the zone.
std::optional<cloud::Date> dateOf(std::tm parts) {
    parts.tm_isdst = -1;
    const std::time_t time = std::mktime(&parts);
    if (time == static_cast<std::time_t>(-1)) return std::nullopt;
    return std::chrono::system_clock::from_time_t(time);
}

std::time_t wholeSeconds(cloud::Date date) {
    return static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count());
}

}  // namespace

std::optional<cloud::Date> NewsletterTime::dailyDate(std::optional<std::int64_t> hour,
                                                     std::optional<std::int64_t> minute) {
    if ((hour && (*hour < 0 || *hour > 23)) || (minute && (*minute < 0 || *minute > 59))) return std::nullopt;
    auto parts = localParts(referenceDate);
    if (!parts) return std::nullopt;
    parts->tm_hour = static_cast<int>(hour.value_or(0));
    parts->tm_min = static_cast<int>(minute.value_or(0));
    return dateOf(*parts);
}

std::optional<NewsletterTime::HourMinute> NewsletterTime::hourMinute(cloud::Date date) {
    auto parts = localParts(wholeSeconds(date));
    if (!parts) return std::nullopt;
    return HourMinute{parts->tm_hour, parts->tm_min};
}

std::optional<cloud::Date> NewsletterTime::nextUpdate(HourMinute time, cloud::Date now) {
    auto parts = localParts(wholeSeconds(now));
    if (!parts) return std::nullopt;
    parts->tm_hour = time.hour;
    parts->tm_min = time.minute;
    parts->tm_sec = 0;
    const auto today = dateOf(*parts);
    if (!today) return std::nullopt;
    const cloud::Date due = *today - std::chrono::seconds(leadSeconds);
    if (now < due) return due;
    // One calendar day on, so that a daylight-saving change keeps the local time.
    auto dueParts = localParts(wholeSeconds(due));
    if (!dueParts) return std::nullopt;
    dueParts->tm_mday += 1;
    return dateOf(*dueParts);
}

std::int64_t NewsletterTime::secondsFromGMT(cloud::Date now) {
    const auto parts = localParts(wholeSeconds(now));
    return parts ? parts->tm_gmtoff : 0;
}

}  // namespace tallowmere
