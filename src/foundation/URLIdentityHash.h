#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "foundation/URL.h"

namespace tallowmere {

// The 64-bit number that identifies a feed or an article by its URL. The
// values are stored and exchanged with other installations, so the text
// hashed and the hash itself must never change.
class URLIdentityHash {
public:
    // 0 when the text is no URL.
    static std::int64_t hash(std::string_view urlString);
    static std::int64_t hash(const URL& url);

    // Lower-cased scheme and host, explicit port digits, decoded path and
    // raw query, joined without separators.
    static std::string normalizedText(const URL& url);
};

// 64-bit FNV-1a of the bytes, as a signed number; nothing for text that
// is not well-formed UTF-8.
std::optional<std::int64_t> fnv1aHash(std::string_view text);

}  // namespace tallowmere
