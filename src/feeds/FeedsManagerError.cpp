#include "feeds/FeedsManagerError.h"

namespace tallowmere {

std::optional<std::string> FeedsManagerError::errorDescription() const {
    const char* key = nullptr;
    switch (kind_) {
        case Kind::malformedURL: key = "malformed_url"; break;
        case Kind::alreadyAdded: key = "already_added"; break;
        case Kind::download: key = "download"; break;
        case Kind::cancelled: return std::nullopt;
    }
    return Localization::format(localized(key), {urlString_});
}

}  // namespace tallowmere
