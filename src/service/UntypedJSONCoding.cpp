#include "service/UntypedJSONCoding.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "service/JSONCodingResult.h"

namespace tallowmere {

namespace {

// 2^63: the first double past the signed 64-bit range.
constexpr double int64Limit = 9223372036854775808.0;

std::optional<std::int64_t> integral(double value) {
    if (!std::isfinite(value) || std::trunc(value) != value) return std::nullopt;
    if (value < -int64Limit || value >= int64Limit) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

}  // namespace

std::optional<UntypedValue> UntypedJSONCoding::decodeValue(const nlohmann::json& value) {
    using Kind = nlohmann::json::value_t;
    switch (value.type()) {
        case Kind::boolean: return UntypedValue(value.get<bool>());
        case Kind::string: return UntypedValue(value.get<std::string>());
        case Kind::number_integer: return UntypedValue(value.get<std::int64_t>());
        case Kind::number_unsigned: {
            const auto number = value.get<std::uint64_t>();
            if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return UntypedValue(static_cast<std::int64_t>(number));
            return UntypedValue(static_cast<double>(number));
        }
        case Kind::number_float: {
            const double number = value.get<double>();
            if (auto whole = integral(number)) return UntypedValue(*whole);
            return UntypedValue(number);
        }
        case Kind::object: return UntypedValue(decodeUntypedDictionary(value));
        case Kind::array: return UntypedValue(decodeUntypedArray(value));
        case Kind::null:
        case Kind::binary:
        case Kind::discarded: return std::nullopt;
    }
    return std::nullopt;
}

UntypedDictionary UntypedJSONCoding::decodeUntypedDictionary(const nlohmann::json& object) {
    UntypedDictionary dictionary;
    for (const auto& [key, member] : object.items()) {
        if (auto value = decodeValue(member)) {
            dictionary.insert_or_assign(key, std::move(*value));
        } else if (member.is_null()) {
            dictionary.insert_or_assign(key, UntypedValue(true));
        }
    }
    return dictionary;
}

UntypedArray UntypedJSONCoding::decodeUntypedArray(const nlohmann::json& array) {
    UntypedArray values;
    values.reserve(array.size());
    for (const auto& element : array) {
        if (auto value = decodeValue(element)) values.push_back(std::move(*value));
    }
    return values;
}

JSONCodingResult<std::optional<nlohmann::json>> UntypedJSONCoding::encodeValue(const UntypedValue& value) {
    using Encoded = std::optional<nlohmann::json>;
    const auto& storage = value.storage();
    if (const auto* flag = std::get_if<bool>(&storage)) return Encoded(*flag);
    if (const auto* text = std::get_if<std::string>(&storage)) return Encoded(*text);
    if (const auto* integer = std::get_if<std::int64_t>(&storage)) return Encoded(*integer);
    if (const auto* real = std::get_if<double>(&storage)) {
        if (!std::isfinite(*real))
            return JSONCodingError(JSONCodingError::Kind::invalidValue, "a number that is not finite");
        return Encoded(*real);
    }
    if (const auto* dictionary = std::get_if<UntypedDictionary>(&storage)) {
        auto object = encodeObject(*dictionary);
        if (!object.ok()) return object.error();
        return Encoded(std::move(object).value());
    }
    if (const auto* array = std::get_if<UntypedArray>(&storage)) {
        nlohmann::json nested = nlohmann::json::array();
        if (auto error = encodeUntypedArray(nested, *array)) return *error;
        return Encoded(std::move(nested));
    }
    return Encoded();  // a foreign value
}

JSONCodingResult<nlohmann::json> UntypedJSONCoding::encodeObject(const UntypedDictionary& dictionary) {
    // The object exists before any entry is written: an empty dictionary stays an empty object.
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [name, value] : dictionary) {
        auto encoded = encodeValue(value);
        if (!encoded.ok()) return encoded.error();
        if (encoded.value()) object[name] = std::move(*std::move(encoded).value());
    }
    return object;
}

std::optional<JSONCodingError> UntypedJSONCoding::encodeUntyped(nlohmann::json& object, const std::string& key,
                                                                const UntypedDictionary& dictionary) {
    auto nested = encodeObject(dictionary);
    if (!nested.ok()) return nested.error();
    object[key] = std::move(nested).value();
    return std::nullopt;
}

std::optional<JSONCodingError> UntypedJSONCoding::encodeUntypedArray(nlohmann::json& array, const UntypedArray& values) {
    for (const UntypedValue& value : values) {
        if (auto error = encodeUntypedElement(array, value)) return error;
    }
    return std::nullopt;
}

std::optional<JSONCodingError> UntypedJSONCoding::encodeUntypedDictionary(nlohmann::json& array,
                                                                          const UntypedDictionary& dictionary) {
    auto nested = encodeObject(dictionary);
    if (!nested.ok()) return nested.error();
    array.push_back(std::move(nested).value());
    return std::nullopt;
}

std::optional<JSONCodingError> UntypedJSONCoding::encodeUntypedElement(nlohmann::json& array,
                                                                       const UntypedValue& value) {
    auto encoded = encodeValue(value);
    if (!encoded.ok()) return encoded.error();
    if (encoded.value()) array.push_back(std::move(*std::move(encoded).value()));
    return std::nullopt;
}

}  // namespace tallowmere
