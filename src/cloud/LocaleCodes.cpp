#include "cloud/LocaleCodes.h"

#include <cstdlib>

namespace tallowmere {

LocaleCodes LocaleCodes::fromEnvironment(const std::function<const char*(const char*)>& getenv) {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") return {};
    LocaleCodes codes;
    const auto separator = name.find('_');
    codes.language = name.substr(0, separator);
    if (separator != std::string::npos && separator + 1 < name.size()) codes.region = name.substr(separator + 1);
    if (codes.language->empty()) codes.language.reset();
    return codes;
}

LocaleCodes LocaleCodes::current() {
    return fromEnvironment([](const char* name) { return std::getenv(name); });
}

}  // namespace tallowmere
