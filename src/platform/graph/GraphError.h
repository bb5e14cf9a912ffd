#pragma once

#include <string>
#include <utility>
#include <variant>

namespace tallowmere::graph {

// busy: another connection held the store longer than the wait allowed;
// nothing was written, and the same work may be tried again.
enum class GraphErrorCode { openFailed, schemaFailed, sqliteFailed, saveFailed, invalidRequest, notFound, busy };

struct GraphError {
    GraphErrorCode code = GraphErrorCode::sqliteFailed;
    std::string message;
};

// A value or the error that kept it from being made.
template <typename T>
class Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(GraphError error) : state_(std::move(error)) {}
    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T& operator*() { return value(); }
    T* operator->() { return &value(); }
    const GraphError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, GraphError> state_;
};

template <>
class Result<void> {
public:
    Result() = default;
    Result(GraphError error) : error_(std::move(error)), ok_(false) {}
    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const GraphError& error() const { return error_; }

private:
    GraphError error_;
    bool ok_ = true;
};

}  // namespace tallowmere::graph
