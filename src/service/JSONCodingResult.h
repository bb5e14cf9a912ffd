#pragma once

#include <utility>
#include <variant>

#include "service/JSONCodingError.h"

namespace tallowmere {

// A read or written value, or why there is none.
template <typename T>
class JSONCodingResult {
public:
    JSONCodingResult(T value) : content_(std::in_place_index<0>, std::move(value)) {}
    JSONCodingResult(JSONCodingError error) : content_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return content_.index() == 0; }
    const T& value() const& { return std::get<0>(content_); }
    T&& value() && { return std::get<0>(std::move(content_)); }
    const JSONCodingError& error() const { return std::get<1>(content_); }

private:
    std::variant<T, JSONCodingError> content_;
};

}  // namespace tallowmere
