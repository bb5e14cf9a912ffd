#include "platform/feedkit/FeedDate.h"

#include <array>
#include <cctype>
#include <cstdint>

namespace tallowmere::feedkit {
namespace {

using TimePoint = FeedDate::TimePoint;

constexpr int kEarliestYear = 1700;
constexpr int kLatestYear = 2200;

struct Fields {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    std::chrono::nanoseconds fraction{0};
    int offsetSeconds = 0;  // local time minus UTC
};

// A small forward cursor over the text.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek(size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }
    void advance(size_t count = 1) { pos_ = std::min(text_.size(), pos_ + count); }
    bool accept(char c) {
        if (peek() != c) return false;
        advance();
        return true;
    }
    void skipSpaces() {
        while (!atEnd() && std::isspace(static_cast<unsigned char>(peek()))) advance();
    }
    void skipSeparators() {
        while (!atEnd() &&
               (std::isspace(static_cast<unsigned char>(peek())) || peek() == ',' || peek() == '-'))
            advance();
    }
    // Reads up to maxDigits digits; `count` receives how many were read.
    std::optional<int> number(size_t maxDigits, size_t* count = nullptr) {
        size_t n = 0;
        int value = 0;
        while (n < maxDigits && std::isdigit(static_cast<unsigned char>(peek()))) {
            value = value * 10 + (peek() - '0');
            advance();
            ++n;
        }
        if (count) *count = n;
        if (n == 0) return std::nullopt;
        return value;
    }
    std::string_view word() {
        size_t start = pos_;
        while (!atEnd() && std::isalpha(static_cast<unsigned char>(peek()))) advance();
        return text_.substr(start, pos_ - start);
    }
    bool nextIsDigit() const { return std::isdigit(static_cast<unsigned char>(peek())); }
    bool nextIsAlpha() const { return std::isalpha(static_cast<unsigned char>(peek())); }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "Jan", "january", "Sept" and the like; 0 when the word is no month.
int monthFromName(std::string_view word) {
    static constexpr std::array<std::string_view, 12> names = {"jan", "feb", "mar", "apr", "may", "jun",
                                                               "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() < 3) return 0;
    for (size_t i = 0; i < names.size(); ++i)
        if (equalsIgnoringCase(word.substr(0, 3), names[i])) return static_cast<int>(i) + 1;
    return 0;
}

// Zone names seen in feeds: the RFC 822 ones and the common abbreviations of
// the rest of the world. Where a name is ambiguous (IST, BST) the use most
// common in feeds wins.
std::optional<int> offsetFromZoneName(std::string_view word) {
    struct Zone {
        std::string_view name;
        int minutes;
    };
    static constexpr std::array<Zone, 38> zones = {{
        {"GMT", 0},          {"UT", 0},           {"UTC", 0},          {"Z", 0},
        {"EST", -5 * 60},    {"EDT", -4 * 60},    {"CST", -6 * 60},    {"CDT", -5 * 60},
        {"MST", -7 * 60},    {"MDT", -6 * 60},    {"PST", -8 * 60},    {"PDT", -7 * 60},
        {"AKST", -9 * 60},   {"AKDT", -8 * 60},   {"HST", -10 * 60},   {"AST", -4 * 60},
        {"ADT", -3 * 60},    {"NST", -210},       {"NDT", -150},       {"WET", 0},
        {"WEST", 60},        {"BST", 60},         {"IST", 330},        {"CET", 60},
        {"CEST", 120},       {"MET", 60},         {"MEST", 120},       {"EET", 120},
        {"EEST", 180},       {"MSK", 180},        {"HKT", 480},        {"SGT", 480},
        {"JST", 540},        {"KST", 540},        {"AEST", 600},       {"AEDT", 660},
        {"NZST", 720},       {"NZDT", 780},
    }};
    for (const auto& zone : zones)
        if (equalsIgnoringCase(word, zone.name)) return zone.minutes * 60;
    if (equalsIgnoringCase(word, "ACST")) return 570 * 60;
    if (equalsIgnoringCase(word, "ACDT")) return 630 * 60;
    if (equalsIgnoringCase(word, "AWST")) return 480 * 60;
    return std::nullopt;
}

// "AM"/"PM" (also "a.m."), after a 12-hour clock.
void readMeridiem(Cursor& cursor, Fields& f) {
    Cursor probe = cursor;
    probe.skipSpaces();
    char first = static_cast<char>(std::tolower(static_cast<unsigned char>(probe.peek())));
    if (first != 'a' && first != 'p') return;
    probe.advance();
    probe.accept('.');
    if (std::tolower(static_cast<unsigned char>(probe.peek())) != 'm') return;
    probe.advance();
    probe.accept('.');
    if (probe.nextIsAlpha() || f.hour < 1 || f.hour > 12) return;
    if (first == 'p' && f.hour < 12) f.hour += 12;
    if (first == 'a' && f.hour == 12) f.hour = 0;
    cursor = probe;
}

// "+0100", "-05:00", "+01", "+1"; absent when no sign starts here.
std::optional<int> numericOffset(Cursor& cursor, bool* malformed) {
    char sign = cursor.peek();
    if (sign != '+' && sign != '-') return std::nullopt;
    cursor.advance();
    size_t digits = 0;
    auto first = cursor.number(4, &digits);
    if (!first) {
        *malformed = true;
        return std::nullopt;
    }
    int hours = 0, minutes = 0;
    if (digits <= 2) {
        hours = *first;
        if (cursor.accept(':')) {
            auto m = cursor.number(2);
            if (!m) {
                *malformed = true;
                return std::nullopt;
            }
            minutes = *m;
        }
    } else {
        hours = *first / 100;
        minutes = *first % 100;
    }
    if (hours > 23 || minutes > 59) {
        *malformed = true;
        return std::nullopt;
    }
    int offset = hours * 3600 + minutes * 60;
    return sign == '-' ? -offset : offset;
}

std::optional<TimePoint> toTimePoint(const Fields& f) {
    using namespace std::chrono;
    // The clock counts nanoseconds in 64 bits: about 1678 to 2262 is all it holds.
    if (f.year < kEarliestYear || f.year > kLatestYear) return std::nullopt;
    if (f.month < 1 || f.month > 12 || f.day < 1) return std::nullopt;
    if (f.hour > 24 || f.minute > 59 || f.second > 60) return std::nullopt;
    if (f.hour == 24 && (f.minute != 0 || f.second != 0)) return std::nullopt;
    year_month_day ymd{year{f.year}, month{static_cast<unsigned>(f.month)},
                       day{static_cast<unsigned>(f.day)}};
    if (!ymd.ok()) return std::nullopt;
    int second = f.second == 60 ? 59 : f.second;  // a leap second is kept inside its minute
    auto local = sys_days{ymd} + hours{f.hour} + minutes{f.minute} + seconds{second};
    auto utc = local - seconds{f.offsetSeconds};
    return time_point_cast<system_clock::duration>(utc + f.fraction);
}

// Reads "HH:MM[:SS[.fff]]" (also with "." between the parts, as a few feeds write).
bool readClock(Cursor& cursor, Fields& f) {
    auto hour = cursor.number(2);
    if (!hour || !(cursor.accept(':') || cursor.accept('.'))) return false;
    auto minute = cursor.number(2);
    if (!minute) return false;
    f.hour = *hour;
    f.minute = *minute;
    if (cursor.peek() == ':' ||
        (cursor.peek() == '.' && std::isdigit(static_cast<unsigned char>(cursor.peek(1))))) {
        cursor.advance();
        auto second = cursor.number(2);
        if (!second) return false;
        f.second = *second;
        if ((cursor.peek() == '.' || cursor.peek() == ',') &&
            std::isdigit(static_cast<unsigned char>(cursor.peek(1)))) {
            cursor.advance();
            int64_t nanos = 0;
            int scale = 0;
            while (cursor.nextIsDigit()) {
                if (scale < 9) {
                    nanos = nanos * 10 + (cursor.peek() - '0');
                    ++scale;
                }
                cursor.advance();
            }
            for (; scale < 9; ++scale) nanos *= 10;
            f.fraction = std::chrono::nanoseconds{nanos};
        }
    }
    return true;
}

// Reads an optional zone after the clock: a name, a numeric offset, or a name
// followed by an offset ("GMT+0100"). False only for a zone that is plainly broken.
bool readZone(Cursor& cursor, Fields& f, bool unknownNameIsUTC, std::string* unknownZone = nullptr) {
    cursor.skipSpaces();
    bool malformed = false;
    if (auto offset = numericOffset(cursor, &malformed)) {
        f.offsetSeconds = *offset;
        return true;
    }
    if (malformed) return false;
    if (cursor.nextIsAlpha()) {
        auto name = cursor.word();
        auto offset = offsetFromZoneName(name);
        if (!offset && !unknownNameIsUTC) return false;
        if (!offset && unknownZone) *unknownZone = std::string(name);
        f.offsetSeconds = offset.value_or(0);
        if (offset && *offset == 0) {
            if (auto extra = numericOffset(cursor, &malformed)) f.offsetSeconds = *extra;
        }
    }
    return true;
}

int expandYear(int year, size_t digits) {
    if (digits == 2) return year < 50 ? 2000 + year : 1900 + year;
    return year;
}

}  // namespace

std::optional<TimePoint> FeedDate::parseRFC822(std::string_view text, std::string* unknownZone) {
    Cursor cursor(text);
    Fields f;
    cursor.skipSpaces();
    // Weekday (any word that is not a month), then day and month in either order.
    if (cursor.nextIsAlpha()) {
        auto word = cursor.word();
        if (int month = monthFromName(word)) {
            f.month = month;
        } else {
            cursor.accept('.');
        }
        cursor.skipSeparators();
    }
    if (f.month == 0 && cursor.nextIsAlpha()) {
        f.month = monthFromName(cursor.word());
        if (f.month == 0) return std::nullopt;
        cursor.accept('.');
        cursor.skipSeparators();
    }
    auto day = cursor.number(2);
    if (!day) return std::nullopt;
    f.day = *day;
    cursor.skipSeparators();
    if (f.month == 0) {
        f.month = monthFromName(cursor.word());
        if (f.month == 0) return std::nullopt;
        cursor.accept('.');
        cursor.skipSeparators();
    }
    size_t yearDigits = 0;
    auto year = cursor.number(4, &yearDigits);
    if (!year || (yearDigits != 2 && yearDigits != 4)) return std::nullopt;
    f.year = expandYear(*year, yearDigits);
    cursor.skipSpaces();
    cursor.accept(',');
    cursor.skipSpaces();
    if (cursor.nextIsDigit()) {
        if (!readClock(cursor, f)) return std::nullopt;
        readMeridiem(cursor, f);
        if (!readZone(cursor, f, true, unknownZone)) return std::nullopt;
    }
    return toTimePoint(f);
}

std::optional<TimePoint> FeedDate::parseISO8601(std::string_view text) {
    Cursor cursor(text);
    Fields f;
    cursor.skipSpaces();
    size_t digits = 0;
    auto year = cursor.number(8, &digits);
    if (!year) return std::nullopt;
    if (digits == 8) {  // compact "YYYYMMDD"
        f.year = *year / 10000;
        f.month = *year / 100 % 100;
        f.day = *year % 100;
    } else if (digits == 4) {
        f.year = *year;
        f.month = 1;
        f.day = 1;
        if (cursor.accept('-')) {
            auto month = cursor.number(2);
            if (!month) return std::nullopt;
            f.month = *month;
            if (cursor.accept('-')) {
                auto day = cursor.number(2);
                if (!day) return std::nullopt;
                f.day = *day;
            }
        }
    } else {
        return std::nullopt;
    }
    char separator = cursor.peek();
    if (separator == 'T' || separator == 't' || separator == ' ') {
        cursor.advance();
        cursor.skipSpaces();
        if (cursor.nextIsDigit()) {
            Cursor probe = cursor;
            size_t clockDigits = 0;
            probe.number(6, &clockDigits);
            if (clockDigits == 6 && probe.peek() != ':') {  // compact "HHMMSS"
                auto packed = cursor.number(6);
                f.hour = *packed / 10000;
                f.minute = *packed / 100 % 100;
                f.second = *packed % 100;
            } else if (!readClock(cursor, f)) {
                return std::nullopt;
            } else {
                readMeridiem(cursor, f);
            }
            cursor.skipSpaces();
            if (cursor.accept('Z') || cursor.accept('z')) {
                f.offsetSeconds = 0;
            } else if (!readZone(cursor, f, false)) {
                return std::nullopt;
            }
        }
    }
    cursor.skipSpaces();
    if (!cursor.atEnd()) return std::nullopt;
    return toTimePoint(f);
}

std::optional<TimePoint> FeedDate::parse(std::string_view text, std::string* unknownZone) {
    size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    text.remove_prefix(start);
    if (text.empty()) return std::nullopt;
    bool looksISO = text.size() >= 4 && std::isdigit(static_cast<unsigned char>(text[0])) &&
                    std::isdigit(static_cast<unsigned char>(text[1])) &&
                    std::isdigit(static_cast<unsigned char>(text[2])) &&
                    std::isdigit(static_cast<unsigned char>(text[3]));
    if (looksISO) {
        if (auto date = parseISO8601(text)) return date;
    }
    if (auto date = parseRFC822(text, unknownZone)) return date;
    if (!looksISO) return parseISO8601(text);
    return std::nullopt;
}

}  // namespace tallowmere::feedkit
