#include "foundation/URLIdentityHash.h"

#include <string>

#include "foundation/TextOperations.h"
#include "foundation/UTF8.h"

namespace tallowmere {

std::optional<std::int64_t> fnv1aHash(std::string_view text) {
    if (!utf8::isValid(text)) return std::nullopt;
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return static_cast<std::int64_t>(h);
}

std::string URLIdentityHash::normalizedText(const URL& url) {
    std::string text = lowercased(url.scheme());
    text += lowercased(url.host().value_or(std::string()));
    if (const auto port = url.port()) text += std::to_string(*port);
    text += url.path();
    text += url.query().value_or(std::string());
    return text;
}

std::int64_t URLIdentityHash::hash(const URL& url) {
    return fnv1aHash(normalizedText(url)).value_or(0);
}

std::int64_t URLIdentityHash::hash(std::string_view urlString) {
    const auto url = URL::parse(urlString);
    return url ? hash(*url) : 0;
}

}  // namespace tallowmere
