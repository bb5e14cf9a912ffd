#pragma once

#include <string>

namespace tallowmere {

// A font family that a theme brings as a file of its own ("Fonts/<filename>").
struct CustomFontFamily {
    std::string family;
    std::string filename;

    bool operator==(const CustomFontFamily&) const = default;
};

}  // namespace tallowmere
