#include "foundation/UTF8.h"

#include <cstdint>

namespace tallowmere::utf8 {

bool isValid(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t lowest;
        std::uint32_t value;
        if ((c & 0xE0) == 0xC0) {
            length = 2, lowest = 0x80, value = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, lowest = 0x800, value = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, lowest = 0x10000, value = c & 0x07;
        } else {
            return false;
        }
        if (n - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            value = (value << 6) | (s[i + k] & 0x3F);
        }
        if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

}  // namespace tallowmere::utf8
