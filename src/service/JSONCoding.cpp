#include "service/JSONCoding.h"

namespace tallowmere {

namespace {

// Thrown from the parse callback to stop at once; nothing else throws it.
struct TooDeep {};

std::string quoted(const std::string& key) { return "\"" + key + "\""; }

}  // namespace

JSONCodingResult<nlohmann::json> JSONCoding::read(std::string_view bytes) {
    // The callback sees each container as it opens, with the number of
    // containers around it, before anything inside is read.
    const nlohmann::json::parser_callback_t limitDepth = [](int depth, nlohmann::json::parse_event_t event,
                                                             nlohmann::json&) {
        const bool opens = event == nlohmann::json::parse_event_t::object_start ||
                           event == nlohmann::json::parse_event_t::array_start;
        if (opens && depth >= maxDepth) throw TooDeep{};
        return true;
    };
    try {
        return nlohmann::json::parse(bytes.begin(), bytes.end(), limitDepth);
    } catch (const TooDeep&) {
        return JSONCodingError(JSONCodingError::Kind::dataCorrupted,
                               "nested deeper than " + std::to_string(maxDepth) + " levels");
    } catch (const nlohmann::json::exception& error) {
        return JSONCodingError(JSONCodingError::Kind::dataCorrupted, error.what());
    }
}

JSONCodingResult<std::string> JSONCoding::write(const nlohmann::json& document) {
    try {
        return document.dump();
    } catch (const nlohmann::json::exception& error) {
        return JSONCodingError(JSONCodingError::Kind::invalidValue, error.what());
    }
}

JSONCodingResult<const nlohmann::json*> JSONCoding::required(const nlohmann::json& object, const std::string& key,
                                                             nlohmann::json::value_t kind) {
    const auto found = object.find(key);
    if (found == object.end()) return JSONCodingError(JSONCodingError::Kind::keyNotFound, quoted(key));
    if (found->is_null()) return JSONCodingError(JSONCodingError::Kind::valueNotFound, quoted(key));
    if (found->type() != kind) return JSONCodingError(JSONCodingError::Kind::typeMismatch, quoted(key));
    return &*found;
}

JSONCodingResult<std::string> JSONCoding::requiredString(const nlohmann::json& object, const std::string& key) {
    auto member = required(object, key, nlohmann::json::value_t::string);
    if (!member.ok()) return member.error();
    return member.value()->get<std::string>();
}

JSONCodingResult<std::optional<std::string>> JSONCoding::optionalString(const nlohmann::json& object,
                                                                        const std::string& key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::optional<std::string>();
    if (!found->is_string()) return JSONCodingError(JSONCodingError::Kind::typeMismatch, quoted(key));
    return std::optional<std::string>(found->get<std::string>());
}

JSONCodingResult<const nlohmann::json*> JSONCoding::requiredArray(const nlohmann::json& object, const std::string& key) {
    return required(object, key, nlohmann::json::value_t::array);
}

JSONCodingResult<const nlohmann::json*> JSONCoding::requiredObject(const nlohmann::json& object, const std::string& key) {
    return required(object, key, nlohmann::json::value_t::object);
}

std::optional<JSONCodingError> JSONCoding::expectObject(const nlohmann::json& value, std::string_view what) {
    if (value.is_object()) return std::nullopt;
    return JSONCodingError(JSONCodingError::Kind::typeMismatch, "an object expected for " + std::string(what));
}

}  // namespace tallowmere
