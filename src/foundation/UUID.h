#pragma once

#include <string>

namespace tallowmere {

// Random (version 4) UUIDs in their canonical text form: 36 characters,
// upper-case hexadecimal with hyphens.
class UUID {
public:
    static std::string make();
};

}  // namespace tallowmere
