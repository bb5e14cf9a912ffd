#pragma once

#include <chrono>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace tallowmere::defaults {

using Date = std::chrono::system_clock::time_point;

// One stored setting: a Boolean, a whole number, a real number, a text or a
// date. Values keep their kind, so a reader can tell a stored date from a
// number or a text that merely looks like one.
class Value {
public:
    using Storage = std::variant<bool, std::int64_t, double, std::string, Date>;

    Value(bool value) : storage_(value) {}
    template <std::signed_integral T>
    Value(T value) : storage_(static_cast<std::int64_t>(value)) {}
    // Unsigned numbers only where every value fits.
    template <std::unsigned_integral T>
    requires(sizeof(T) < sizeof(std::int64_t)) Value(T value) : storage_(static_cast<std::int64_t>(value)) {}
    Value(double value) : storage_(value) {}
    Value(std::string value) : storage_(std::move(value)) {}
    Value(const char* value) : storage_(std::string(value)) {}
    Value(Date value) : storage_(value) {}

    bool isBoolean() const { return std::holds_alternative<bool>(storage_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(storage_); }
    bool isReal() const { return std::holds_alternative<double>(storage_); }
    bool isString() const { return std::holds_alternative<std::string>(storage_); }
    bool isDate() const { return std::holds_alternative<Date>(storage_); }

    // Lenient readings, as settings readers expect them: numbers count as true
    // when not zero, texts when they say "true"/"yes" or a non-zero number;
    // anything that cannot be read gives false / 0.
    bool toBoolean() const;
    // Real numbers are cut towards zero and held within the 64-bit range.
    std::int64_t toInteger() const;
    double toReal() const;

    // The value only when it is of that kind.
    std::optional<std::string> asString() const;
    std::optional<Date> asDate() const;

    const Storage& storage() const { return storage_; }
    bool operator==(const Value& other) const = default;

    // A short text for log lines and test failures.
    std::string description() const;

private:
    Storage storage_;
};

}  // namespace tallowmere::defaults
