#pragma once

#include <string>
#include <string_view>

#include "foundation/Localization.h"

namespace tallowmere {

// For a type whose texts live in its own string table; the type names its
// table with `static constexpr std::string_view tableName`.
template <typename T>
class Localizable {
public:
    static std::string localized(std::string_view key) {
        return Localization::shared()->localized(T::tableName, key);
    }
};

}  // namespace tallowmere
