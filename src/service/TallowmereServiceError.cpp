#include "service/TallowmereServiceError.h"

namespace tallowmere {

std::string_view TallowmereServiceError::localizationKey() const {
    switch (code_) {
        case Code::unknown: return "unknown_error";
        case Code::userNotAuthorized: return "user_not_authorized";
        case Code::userNotFound: return "user_not_found";
        case Code::userConflict: return "user_conflict";
    }
    return "unknown_error";
}

std::string TallowmereServiceError::errorDescription() const { return localized(localizationKey()); }

}  // namespace tallowmere
