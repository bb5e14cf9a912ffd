#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/defaults/Value.h"

namespace tallowmere::defaults {

// How values look in the settings file. Booleans, whole numbers, real numbers
// and texts are plain JSON; the kinds JSON lacks are tagged objects, so that a
// date stays a date across a restart:
//   {"$date": "2026-12-10T13:18:09.123456789Z"}   (UTC, up to nanoseconds)
//   {"$real": "nan"} / {"$real": "inf"} / {"$real": "-inf"}
class ValueJson {
public:
    static nlohmann::json encode(const Value& value);
    // Nothing for JSON of any other shape (null, lists, untagged objects).
    static std::optional<Value> decode(const nlohmann::json& json);

    static std::string formatDate(Date date);
    static std::optional<Date> parseDate(const std::string& text);
};

}  // namespace tallowmere::defaults
