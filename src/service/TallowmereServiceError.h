#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "foundation/Localizable.h"

namespace tallowmere {

// Why a request to the backend failed. The code of each case is its place
// in Code, 0 to 3.
class TallowmereServiceError : public Localizable<TallowmereServiceError> {
public:
    static constexpr std::string_view tableName = "TallowmereServiceError";

    enum class Code : int {
        unknown = 0,            // any failure not listed below
        userNotAuthorized = 1,  // the backend answered 401
        userNotFound = 2,       // the backend answered 404
        userConflict = 3,       // the backend answered 409
    };

    TallowmereServiceError(Code code) : code_(code) {}

    Code code() const { return code_; }
    int errorCode() const { return static_cast<int>(code_); }
    // The text shown to the user.
    std::string errorDescription() const;
    // The key of that text in the string table.
    std::string_view localizationKey() const;

    bool operator==(const TallowmereServiceError& other) const { return code_ == other.code_; }

private:
    Code code_;
};

}  // namespace tallowmere

template <>
struct std::hash<tallowmere::TallowmereServiceError> {
    std::size_t operator()(const tallowmere::TallowmereServiceError& error) const noexcept {
        return std::hash<int>()(error.errorCode());
    }
};
