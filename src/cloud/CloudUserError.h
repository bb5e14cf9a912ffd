#pragma once

#include <optional>
#include <string>
#include <variant>

#include "platform/cloud/Error.h"

namespace tallowmere {

// Why an operation on the user's identity record did not run: no user is
// signed in, or the cloud is switched off.
enum class CloudUserError { notAuthenticated };

// What an identity-record operation reports: the cloud's error or ours.
using CloudUserFailure = std::variant<cloud::Error, CloudUserError>;

inline std::string describe(const CloudUserFailure& failure) {
    if (const auto* error = std::get_if<cloud::Error>(&failure)) return error->textualDescription();
    return "not authenticated";
}

}  // namespace tallowmere
