#include "platform/defaults/ValueJson.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace tallowmere::defaults {
namespace {

constexpr const char* dateTag = "$date";
constexpr const char* realTag = "$real";

nlohmann::json encodeReal(double value) {
    if (std::isfinite(value)) return value;
    if (std::isnan(value)) return {{realTag, "nan"}};
    return {{realTag, value > 0 ? "inf" : "-inf"}};
}

std::optional<Value> decodeTaggedReal(const std::string& text) {
    if (text == "nan") return Value(std::numeric_limits<double>::quiet_NaN());
    if (text == "inf") return Value(std::numeric_limits<double>::infinity());
    if (text == "-inf") return Value(-std::numeric_limits<double>::infinity());
    return std::nullopt;
}

std::optional<Value> decodeTagged(const nlohmann::json& json) {
    if (json.size() != 1) return std::nullopt;
    const auto entry = json.begin();
    const std::string& tag = entry.key();
    const auto& body = entry.value();
    if (!body.is_string()) return std::nullopt;
    const auto text = body.get<std::string>();
    if (tag == dateTag) {
        if (auto date = ValueJson::parseDate(text)) return Value(*date);
        return std::nullopt;
    }
    if (tag == realTag) return decodeTaggedReal(text);
    return std::nullopt;
}

}  // namespace

nlohmann::json ValueJson::encode(const Value& value) {
    return std::visit(
        [](const auto& stored) -> nlohmann::json {
            using T = std::decay_t<decltype(stored)>;
            if constexpr (std::is_same_v<T, Date>) {
                return {{dateTag, formatDate(stored)}};
            } else if constexpr (std::is_same_v<T, double>) {
                return encodeReal(stored);
            } else {
                return stored;
            }
        },
        value.storage());
}

std::optional<Value> ValueJson::decode(const nlohmann::json& json) {
    switch (json.type()) {
        case nlohmann::json::value_t::boolean:
            return Value(json.get<bool>());
        case nlohmann::json::value_t::number_integer:
            return Value(json.get<std::int64_t>());
        case nlohmann::json::value_t::number_unsigned: {
            const auto number = json.get<std::uint64_t>();
            if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return Value(static_cast<std::int64_t>(number));
            }
            return Value(static_cast<double>(number));
        }
        case nlohmann::json::value_t::number_float:
            return Value(json.get<double>());
        case nlohmann::json::value_t::string:
            return Value(json.get<std::string>());
        case nlohmann::json::value_t::object:
            return decodeTagged(json);
        default:
            return std::nullopt;
    }
}

std::string ValueJson::formatDate(Date date) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<nanoseconds>(date.time_since_epoch());
    const auto wholeSeconds = floor<seconds>(sinceEpoch);
    const auto fraction = (sinceEpoch - wholeSeconds).count();
    const std::time_t time = static_cast<std::time_t>(wholeSeconds.count());
    std::tm utc{};
    gmtime_r(&time, &utc);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%09lldZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<long long>(fraction));
    return buffer;
}

std::optional<Date> ValueJson::parseDate(const std::string& text) {
    std::tm utc{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                    &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &consumed) != 6) {
        return std::nullopt;
    }
    if (utc.tm_mon < 1 || utc.tm_mon > 12 || utc.tm_mday < 1 || utc.tm_mday > 31 || utc.tm_hour > 23 ||
        utc.tm_min > 59 || utc.tm_sec > 60) {
        return std::nullopt;
    }
    std::size_t position = static_cast<std::size_t>(consumed);
    long long nanos = 0;
    if (position < text.size() && text[position] == '.') {
        ++position;
        int digits = 0;
        while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
            if (digits < 9) {
                nanos = nanos * 10 + (text[position] - '0');
                ++digits;
            }
            ++position;
        }
        if (digits == 0) return std::nullopt;
        for (; digits < 9; ++digits) nanos *= 10;
    }
    if (position + 1 != text.size() || text[position] != 'Z') return std::nullopt;
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    const std::time_t seconds = timegm(&utc);
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::seconds(seconds) +
                                                           std::chrono::nanoseconds(nanos)));
}

}  // namespace tallowmere::defaults
