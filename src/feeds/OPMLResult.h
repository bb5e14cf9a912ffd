#pragma once

#include <utility>
#include <variant>

#include "feeds/OPMLError.h"

namespace tallowmere {

// A value, or the OPMLError that kept it from being made.
template <typename T>
class OPMLResult {
public:
    OPMLResult(T value) : state_(std::move(value)) {}
    OPMLResult(OPMLError error) : state_(std::move(error)) {}
    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    const OPMLError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, OPMLError> state_;
};

}  // namespace tallowmere
