#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/graph/ObjectID.h"

namespace tallowmere::graph {

using Bytes = std::vector<std::uint8_t>;

// A point in time as seconds since 1970-01-01 UTC, stored as a double so
// that it round-trips through the store unchanged.
struct Date {
    double seconds = 0;
    static Date now();
    auto operator<=>(const Date&) const = default;
};

// One property value. Absent (monostate) is distinct from an empty string or
// empty data; to-one relations hold the target's ObjectID.
using Value = std::variant<std::monostate, std::int64_t, double, bool, std::string, Date, Bytes, ObjectID>;

inline bool isNull(const Value& value) { return std::holds_alternative<std::monostate>(value); }

// Orders values the way SQLite orders them: absent first, then numbers
// (integers, doubles, Booleans and dates compare numerically), then text
// (bytewise), then data. ObjectIDs compare by key.
int compareValues(const Value& a, const Value& b);
bool valuesEqual(const Value& a, const Value& b);

}  // namespace tallowmere::graph
