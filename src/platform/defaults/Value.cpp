#include "platform/defaults/Value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/defaults/ValueJson.h"
#include "platform/text/AsciiText.h"

namespace tallowmere::defaults {
namespace {

std::int64_t clampedInteger(double value) {
    if (std::isnan(value)) return 0;
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit) return std::numeric_limits<std::int64_t>::max();
    if (value < -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// The leading number of a text ("12", " -3 ", "2.5"), or nothing.
std::optional<double> leadingNumber(const std::string& text) {
    const std::string body(text::AsciiText::trimmed(text));
    double number = 0;
    const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), number);
    if (error != std::errc() || end == body.data()) return std::nullopt;
    return number;
}

}  // namespace

bool Value::toBoolean() const {
    return std::visit(
        [](const auto& value) -> bool {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>) {
                return value;
            } else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, double>) {
                return value != 0;
            } else if constexpr (std::is_same_v<T, std::string>) {
                const std::string word = text::AsciiText::lowercased(text::AsciiText::trimmed(value));
                if (word == "true" || word == "yes") return true;
                const auto number = leadingNumber(word);
                return number && *number != 0;
            } else {
                return false;
            }
        },
        storage_);
}

std::int64_t Value::toInteger() const {
    return std::visit(
        [](const auto& value) -> std::int64_t {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>) {
                return value ? 1 : 0;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return value;
            } else if constexpr (std::is_same_v<T, double>) {
                return clampedInteger(value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                const auto number = leadingNumber(value);
                return number ? clampedInteger(*number) : 0;
            } else {
                return 0;
            }
        },
        storage_);
}

double Value::toReal() const {
    return std::visit(
        [](const auto& value) -> double {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>) {
                return value ? 1.0 : 0.0;
            } else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, double>) {
                return static_cast<double>(value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return leadingNumber(value).value_or(0.0);
            } else {
                return 0.0;
            }
        },
        storage_);
}

std::optional<std::string> Value::asString() const {
    if (const auto* text = std::get_if<std::string>(&storage_)) return *text;
    return std::nullopt;
}

std::optional<Date> Value::asDate() const {
    if (const auto* date = std::get_if<Date>(&storage_)) return *date;
    return std::nullopt;
}

std::string Value::description() const { return ValueJson::encode(*this).dump(); }

}  // namespace tallowmere::defaults
