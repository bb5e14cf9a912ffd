#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "service/JSONCodingError.h"
#include "service/JSONCodingResult.h"
#include "service/UntypedValue.h"

namespace tallowmere {

// Reads free-form JSON members into untyped values and writes them back.
//
// Each value is read as the first kind that fits, tried in this order:
// Boolean (only true and false), string (only strings), integer (a number
// that is integral and within the signed 64-bit range: 1 and 1.0 alike),
// double (any other number), dictionary, array. A null member of an object
// is read as the Boolean true; a null element of an array is dropped. Values
// are written back by their kind, so a null read in never comes back as null.
class UntypedJSONCoding {
public:
    // Every member of the object (which must be one).
    static UntypedDictionary decodeUntypedDictionary(const nlohmann::json& object);
    // Every element of the array (which must be one), nulls left out.
    static UntypedArray decodeUntypedArray(const nlohmann::json& array);

    // Writes the dictionary as an object under the key of the object being
    // written (an empty dictionary as an empty object). Stops at the first
    // value JSON cannot hold, a non-finite double; foreign values are left out.
    static std::optional<JSONCodingError> encodeUntyped(nlohmann::json& object, const std::string& key,
                                                        const UntypedDictionary& dictionary);
    // Appends every element to the array being written, in order.
    static std::optional<JSONCodingError> encodeUntypedArray(nlohmann::json& array, const UntypedArray& values);
    // Appends the dictionary to the array being written, as one object.
    static std::optional<JSONCodingError> encodeUntypedDictionary(nlohmann::json& array,
                                                                  const UntypedDictionary& dictionary);
    // Appends one value by its kind; a foreign value is left out.
    static std::optional<JSONCodingError> encodeUntypedElement(nlohmann::json& array, const UntypedValue& value);

private:
    // The value of a member or element; nothing for null.
    static std::optional<UntypedValue> decodeValue(const nlohmann::json& value);
    static JSONCodingResult<nlohmann::json> encodeObject(const UntypedDictionary& dictionary);
    // The JSON form of a value; nothing for a foreign one.
    static JSONCodingResult<std::optional<nlohmann::json>> encodeValue(const UntypedValue& value);
};

}  // namespace tallowmere
