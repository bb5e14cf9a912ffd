#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tallowmere {

// Process-wide constants and the compression of stored article HTML. Never
// instantiated; everything is class-level and safe to call from any thread.
class AppUtils {
public:
    AppUtils() = delete;

    // The program's name as it presents itself (user agent, search index
    // file). Starts as the build's application name.
    static std::string appName();
    static void setAppName(std::string name);

    static constexpr std::string_view productIdentifier() { return "tallowmere"; }
    static constexpr std::string_view showArticleIdentifier() { return "showArticle"; }

    // LZFSE: `decode` false compresses, true decompresses. Nothing for empty
    // input, for bytes that are no complete LZFSE stream, and for a stream
    // that would decode to more than 64 MiB.
    static std::optional<std::vector<std::uint8_t>> compress(std::span<const std::uint8_t> data, bool decode);
};

}  // namespace tallowmere
