#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/cloud/Asset.h"

namespace tallowmere::cloud {

// Dates are kept to the microsecond.
using Date = std::chrono::system_clock::time_point;

// One field of a record. Kinds never mix: a Boolean is not read back as an
// integer, and an empty list stays a list (a field that is absent is simply
// not in the record).
using FieldValue = std::variant<std::string, std::int64_t, double, bool, Date, std::vector<std::string>,
                                std::vector<std::int64_t>, Asset>;

}  // namespace tallowmere::cloud
