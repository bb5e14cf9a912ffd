#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tallowmere::cloud {

// Which backing a container uses: none (no account: the program runs on its
// own), a local cloud database file opened as a named account, or a
// PostgreSQL connection string.
//
// Text form (the local-only setting "CloudBacking", or the environment
// variable TALLOWMERE_CLOUD, which wins):
//   "" or "none"                                   no backing
//   "postgresql://..." / "postgres://..."          PostgreSQL
//   "host=... dbname=... user=..."                 PostgreSQL, libpq's keyword form
//   "file:/path/cloud.sqlite?account=alice"        local file, named account
//   "/path/cloud.sqlite"                           local file, the login name
struct Configuration {
    enum class Kind { none, localFile, postgres };

    static constexpr const char* settingKey = "CloudBacking";
    static constexpr const char* environmentVariable = "TALLOWMERE_CLOUD";

    Kind kind = Kind::none;
    std::filesystem::path file;
    std::string account;
    std::string connectionString;
    // Where fetched assets are written; the default is
    // $XDG_CACHE_HOME/Tallowmere/CloudAssets.
    std::filesystem::path assetCacheDirectory;
    // The most records one page of a query holds.
    std::size_t pageSize = 100;

    static Configuration none();
    static Configuration localFile(std::filesystem::path file, std::optional<std::string> account = std::nullopt);
    static Configuration postgres(std::string connectionString);

    static Configuration parse(std::string_view text);
    // The environment variable when set, else the setting's text.
    static Configuration resolve(const std::optional<std::string>& settingText);
    // resolve() with the setting read from the standard user defaults.
    static Configuration current();

    static std::string loginName();
    static std::filesystem::path defaultAssetCacheDirectory();
};

}  // namespace tallowmere::cloud
