#include "foundation/UUID.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>

namespace tallowmere {

std::string UUID::make() {
    static std::mutex mutex;
    static std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    std::uint64_t high = 0, low = 0;
    {
        std::lock_guard lock(mutex);
        high = generator();
        low = generator();
    }
    high = (high & 0xffffffffffff0fffULL) | 0x0000000000004000ULL;  // version 4
    low = (low & 0x3fffffffffffffffULL) | 0x8000000000000000ULL;    // the standard variant
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                  static_cast<unsigned>((high >> 16) & 0xffff), static_cast<unsigned>(high & 0xffff),
                  static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xffffffffffffULL));
    return text;
}

}  // namespace tallowmere
