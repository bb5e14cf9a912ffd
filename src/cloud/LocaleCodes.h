#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tallowmere {

// The user's language and region codes as the locale variables give them:
// the first set of LC_ALL, LC_MESSAGES and LANG, "de_AT.UTF-8" giving "de"
// and "AT". The "C" and "POSIX" locales have neither.
struct LocaleCodes {
    std::optional<std::string> language;
    std::optional<std::string> region;

    static LocaleCodes fromEnvironment(const std::function<const char*(const char*)>& getenv);
    static LocaleCodes current();
};

}  // namespace tallowmere
