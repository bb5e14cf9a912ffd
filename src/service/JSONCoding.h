#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "service/JSONCodingResult.h"

namespace tallowmere {

// The JSON reader and writer of the backend client, and the strict typed
// reads its models make: a string is only ever read from a JSON string, an
// array only from an array, and null counts as absent only where a member is
// optional.
class JSONCoding {
public:
    // Deepest nesting of arrays and objects a read document may have. Reading
    // and writing recurse once per level, so a hostile reply must not choose it.
    static constexpr int maxDepth = 256;

    // The document in the bytes (a leading byte-order mark is skipped).
    // Text that is not JSON, not UTF-8, holds a number beyond the range of a
    // double or nests deeper than maxDepth is refused.
    static JSONCodingResult<nlohmann::json> read(std::string_view bytes);
    // Compact text of the document; text that is not UTF-8 is refused.
    static JSONCodingResult<std::string> write(const nlohmann::json& document);

    // The reads of one member of an object.
    static JSONCodingResult<std::string> requiredString(const nlohmann::json& object, const std::string& key);
    // Absent when the member is missing or null.
    static JSONCodingResult<std::optional<std::string>> optionalString(const nlohmann::json& object,
                                                                       const std::string& key);
    // The member itself, when it is of that kind.
    static JSONCodingResult<const nlohmann::json*> requiredArray(const nlohmann::json& object, const std::string& key);
    static JSONCodingResult<const nlohmann::json*> requiredObject(const nlohmann::json& object, const std::string& key);
    // Nothing when the value is an object; the error a model read ends with otherwise.
    static std::optional<JSONCodingError> expectObject(const nlohmann::json& value, std::string_view what);

private:
    static JSONCodingResult<const nlohmann::json*> required(const nlohmann::json& object, const std::string& key,
                                                            nlohmann::json::value_t kind);
};

}  // namespace tallowmere
