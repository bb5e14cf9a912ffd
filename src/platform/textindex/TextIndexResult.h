#pragma once

#include <type_traits>
#include <utility>
#include <variant>

#include "platform/textindex/TextIndexError.h"

namespace tallowmere::textindex {

// A value or the error that prevented it. TextIndexResult<void> carries only
// success or the error.
template <typename T>
class [[nodiscard]] TextIndexResult {
public:
    TextIndexResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    TextIndexResult(TextIndexError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T& value() const& { return std::get<0>(state_); }
    const TextIndexError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, TextIndexError> state_;
};

template <>
class [[nodiscard]] TextIndexResult<void> {
public:
    TextIndexResult() = default;
    TextIndexResult(TextIndexError error) : error_(std::move(error)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const TextIndexError& error() const { return error_; }

private:
    TextIndexError error_{TextIndexErrorCode::storage, {}};
    bool failed_ = false;
};

}  // namespace tallowmere::textindex
