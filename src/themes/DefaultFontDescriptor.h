#pragma once

namespace tallowmere {

// The font names of the default theme.
struct DefaultFontDescriptor {
    static constexpr const char* regular = "AvenirNext-Regular";
    static constexpr const char* demiBold = "AvenirNext-DemiBold";
    static constexpr const char* bold = "AvenirNext-Bold";
};

}  // namespace tallowmere
