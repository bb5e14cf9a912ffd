#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tallowmere::feedkit {

// Reads the dates that feeds carry: RFC 822/1123 (named and numeric zones,
// two-digit years, no seconds, no weekday) and ISO 8601/RFC 3339 (with or
// without zone and fraction), plus the usual sloppy variants of both. A text
// that is no date gives nothing, so callers fall back to their next source.
class FeedDate {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    // A zone name that is not known keeps the wall time (read as UTC) and is
    // handed back in `unknownZone` when given, for the caller to report.
    static std::optional<TimePoint> parse(std::string_view text, std::string* unknownZone = nullptr);
    static std::optional<TimePoint> parseRFC822(std::string_view text, std::string* unknownZone = nullptr);
    static std::optional<TimePoint> parseISO8601(std::string_view text);
};

}  // namespace tallowmere::feedkit
