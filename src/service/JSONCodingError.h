#pragma once

#include <string>

namespace tallowmere {

// Why a JSON document could not be read into a model or written from one.
class JSONCodingError {
public:
    enum class Kind {
        dataCorrupted,  // not JSON, or nested too deeply
        keyNotFound,    // a required member is missing
        valueNotFound,  // a required member is null
        typeMismatch,   // a member holds another kind of value
        invalidValue,   // a value JSON cannot hold (a non-finite number, text that is not UTF-8)
    };

    JSONCodingError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}

    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }
    // For logs: what went wrong and where.
    std::string description() const;

private:
    Kind kind_;
    std::string detail_;
};

}  // namespace tallowmere
